#include "audio/DecodeChannel.h"

#include <algorithm>

#include "audio/decoders/ParallelDecode.h"

namespace tarvel::audio {

namespace {
// End syncs that keep the source at its end (or seek it back there) would spin forever; after
// this many end events without a frame read in between the read gives up.
constexpr int kMaxEndEventsWithoutData = 4;
// How long a read waits at a time for a source that says "not yet".
constexpr std::chrono::milliseconds kWaitStep{50};
// The crossfade at a loop seam: long enough that the jump carries no click (a cut between
// unrelated waveforms splatters energy up the spectrum), short enough to sound like a cut.
constexpr double kSeamSeconds = 0.010;
}  // namespace

DecodeChannel::DecodeChannel(ChannelKind kind, DWORD flags, std::unique_ptr<Decoder> decoder)
    : Channel(kind, flags),
      decoder_(std::move(decoder)),
      rate_(decoder_->rate()),
      channels_(decoder_->channels()),
      sourceKind_(decoder_->kind()),
      length_(decoder_->lengthFrames()),
      splice_(FadeFrames(rate_, kSeamSeconds), channels_, FadeCurve::Shape::EqualPower) {}

bool DecodeChannel::seek(std::uint64_t frame) {
    if (inSyncCallback() && !decodeOnly()) {
        return seekSpliced(frame);
    }
    if (!seekTo(frame)) {
        return false;
    }
    splice_.cancel();
    return true;
}

bool DecodeChannel::seekTo(std::uint64_t frame) {
    if (released() || frame > length_) {
        return false;
    }
    if (!decoder_->seek(frame)) {
        return false;
    }
    position_ = frame;
    ended_ = false;
    endFired_ = false;
    return true;
}

bool DecodeChannel::seekSpliced(std::uint64_t frame) {
    if (released() || frame > length_) {
        return false;
    }
    // What would have followed: read ahead, not counted as played.
    std::size_t got = 0;
    if (!ended_) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(splice_.frames(), length_ - position_));
        std::int16_t* next = splice_.continuation();
        while (got < want) {
            const ReadResult r = decoder_->read(next + got * channels_, want - got);
            if (r.ended()) {
                endAt(position_ + got);
            }
            if (r.frames() == 0) {
                break;  // the end, or nothing for the moment: fade out what there is
            }
            got += r.frames();
        }
    }
    const std::uint64_t from = position_;
    if (!seekTo(frame)) {
        if (got > 0 && !decoder_->seek(from)) {
            ended_ = true;  // cannot go back: treat the source as finished
        }
        return false;
    }
    // With nothing to fade out (the end of the source) the new position simply starts.
    if (got > 0) {
        splice_.begin(got);
    }
    return true;
}

std::size_t DecodeChannel::peek(std::int16_t* out, std::size_t frames) {
    if (released() || ended_ || position_ >= length_) {
        return 0;
    }
    const std::uint64_t at = position_;
    const bool wasEndFired = endFired_;
    std::size_t done = 0;
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - at));
    while (done < frames) {
        const ReadResult r = decoder_->read(out + done * channels_, frames - done);
        if (r.ended()) {
            endAt(at + done);
        }
        if (r.frames() == 0) {
            break;  // the end, or nothing more for the moment
        }
        done += r.frames();
    }
    if (done > 0 && !decoder_->seek(at)) {
        ended_ = true;  // cannot go back: treat the source as finished
        return 0;
    }
    endFired_ = wasEndFired;
    return done;
}

void DecodeChannel::endAt(std::uint64_t at) {
    // A decoder gives its exact length at open, but a file can shrink or fail under it: from now
    // on the source is as long as what it gave.
    length_ = std::min(length_, at);
}

bool DecodeChannel::decodeAhead(unsigned threads) {
    if (released() || kind() != ChannelKind::Stream || aheadTried_) {
        return ahead_;
    }
    aheadTried_ = true;
    if (auto parallel = DecodeAhead(decoder_, position_, threads)) {
        decoder_ = std::move(parallel);
        ahead_ = true;
    }
    return ahead_;
}

void DecodeChannel::release() {
    decoder_.reset();
    syncs().clear();
    markReleased();
}

std::size_t DecodeChannel::readSynced(std::int16_t* out, std::size_t frames, Channel& owner,
                                      bool endRunAtSync, SourceWait wait, std::uint64_t* runStart) {
    std::size_t done = 0;
    stalled_ = false;
    int endEvents = 0;
    while (done < frames && !released() && !owner.released()) {
        if (ended_ || position_ >= length_) {
            if (endFired_ || ++endEvents > kMaxEndEventsWithoutData) {
                break;
            }
            endFired_ = true;
            const std::uint64_t before = position_;
            // A mark set where the source turned out never to reach stands for its end.
            owner.firePositionSyncsPast(position_);
            if (!released() && !owner.released() && position_ == before && endFired_ &&
                !owner.stopFromSyncRequested()) {
                owner.fireSyncs(BASS_SYNC_END, position_);
            }
            if (released() || owner.released()) {
                break;
            }
            if (position_ != before || !endFired_) {
                if (endRunAtSync && done > 0) {
                    break;
                }
                continue;  // the callback moved the source
            }
            if (owner.stopFromSyncRequested()) {
                break;
            }
            if (owner.loops() && length_ > 0 && seek(0)) {
                if (endRunAtSync && done > 0) {
                    break;
                }
                continue;
            }
            break;
        }
        std::size_t want = std::min<std::uint64_t>(frames - done, length_ - position_);
        const auto next = owner.syncs().nextPositionAfter(position_);
        if (next && *next - position_ < want) {
            want = static_cast<std::size_t>(*next - position_);
        }
        if (done == 0 && runStart) {
            *runStart = position_;
        }
        const ReadResult r = decoder_->read(out + done * channels_, want);
        if (r.wouldBlock()) {
            if (wait == SourceWait::Return) {
                stalled_ = true;
                break;
            }
            decoder_->waitForData(kWaitStep);
            continue;
        }
        const std::size_t got = r.frames();
        if (got == 0) {
            ended_ = true;
            endAt(position_);
            continue;
        }
        endEvents = 0;
        endFired_ = false;
        splice_.apply(out + done * channels_, got);
        position_ += got;
        done += got;
        if (next && position_ == *next) {
            owner.fireSyncs(BASS_SYNC_POS, position_);
            if (owner.stopFromSyncRequested() || endRunAtSync) {
                break;
            }
        }
    }
    return done;
}

}  // namespace tarvel::audio
