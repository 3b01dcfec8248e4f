#include "audio/DecodeChannel.h"

#include <algorithm>

namespace tarvel::audio {

namespace {
// End syncs that keep the source at its end (or seek it back there) would spin forever; after
// this many end events without a frame read in between the read gives up.
constexpr int kMaxEndEventsWithoutData = 4;
}  // namespace

DecodeChannel::DecodeChannel(ChannelKind kind, DWORD flags, std::unique_ptr<Decoder> decoder)
    : Channel(kind, flags),
      decoder_(std::move(decoder)),
      rate_(decoder_->rate()),
      channels_(decoder_->channels()),
      sourceKind_(decoder_->kind()),
      length_(decoder_->lengthFrames()) {}

bool DecodeChannel::seek(std::uint64_t frame) {
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

std::size_t DecodeChannel::peek(std::int16_t* out, std::size_t frames) {
    if (released() || ended_ || position_ >= length_) {
        return 0;
    }
    const std::uint64_t at = position_;
    const bool wasEndFired = endFired_;
    std::size_t done = 0;
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - at));
    while (done < frames) {
        const std::size_t got = decoder_->read(out + done * channels_, frames - done);
        if (got == 0) {
            break;
        }
        done += got;
    }
    if (done > 0 && !decoder_->seek(at)) {
        ended_ = true;  // cannot go back: treat the source as finished
        return 0;
    }
    endFired_ = wasEndFired;
    return done;
}

void DecodeChannel::release() {
    decoder_.reset();
    syncs().clear();
    markReleased();
}

std::size_t DecodeChannel::readSynced(std::int16_t* out, std::size_t frames, Channel& owner,
                                      bool endRunAtSync, std::uint64_t* runStart) {
    std::size_t done = 0;
    int endEvents = 0;
    while (done < frames && !released() && !owner.released()) {
        if (ended_ || position_ >= length_) {
            if (endFired_ || ++endEvents > kMaxEndEventsWithoutData) {
                break;
            }
            endFired_ = true;
            const std::uint64_t before = position_;
            owner.fireSyncs(BASS_SYNC_END, position_);
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
        const std::size_t got = decoder_->read(out + done * channels_, want);
        if (got == 0) {
            ended_ = true;
            continue;
        }
        endEvents = 0;
        endFired_ = false;
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
