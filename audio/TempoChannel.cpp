#include "audio/TempoChannel.h"

namespace tarvel::audio {

namespace {
// Source frames fed to the stretcher at a time: small enough to keep the read-ahead short.
constexpr std::size_t kFeedFrames = 512;
// Audio after a stop point used to push the stretcher's held audio out: more than it holds at
// any tempo we accept.
constexpr std::size_t kTailFrames = 8192;
}  // namespace

TempoChannel::TempoChannel(DWORD flags, std::shared_ptr<DecodeChannel> source,
                           HCHANNEL sourceHandle, bool freeSource)
    : Channel(ChannelKind::Tempo, flags),
      source_(std::move(source)),
      stretcher_(std::make_unique<TempoStretcher>(source_->rate(), source_->channels())),
      sourceHandle_(sourceHandle),
      freeSource_(freeSource),
      rate_(source_->rate()),
      channels_(source_->channels()),
      sourceKind_(source_->sourceKind()),
      feed_(kFeedFrames * channels_),
      tail_(kTailFrames * channels_) {}

std::uint64_t TempoChannel::positionFrames() const {
    if (released()) {
        return 0;
    }
    if (const auto pos = stretcher_->sourcePosition()) {
        return *pos;
    }
    return source_->positionFrames();
}

bool TempoChannel::seek(std::uint64_t frame) {
    if (released() || frame > lengthFrames()) {
        return false;
    }
    if (inSyncCallback()) {
        // The seam is stretched like continuous audio: only the source moves. For playback it
        // splices the seam, so that the stretcher is fed no jump; decode-only data stays exact.
        return decodeOnly() ? source_->seek(frame) : source_->seekSpliced(frame);
    }
    if (!source_->seek(frame)) {
        return false;
    }
    stretcher_->clear();
    clearStopFromSync();
    heldAtStop_ = false;
    return true;
}

void TempoChannel::setTempoPercent(double percent) {
    if (released() || percent == stretcher_->tempoPercent()) {
        return;
    }
    const bool restart = percent == 0.0 || stretcher_->switchesEngine(percent);
    if (restart && !stretcher_->empty() && !stretcher_->draining() && !inSyncCallback()) {
        // Back to the bit-exact path, or over to the other engine: resume the source where the
        // audio handed out has reached.
        const std::uint64_t resumeAt = positionFrames();
        if (source_->seek(resumeAt)) {
            stretcher_->restartSpliced();
        }
    }
    if (stretcher_->bypassed() && !inSyncCallback()) {
        // Off the straight path: the source frames that would have come next fade out under
        // the stretched ones.
        stretcher_->beginHandover(
            source_->peek(stretcher_->continuation(), stretcher_->continuationFrames()));
    }
    stretcher_->setTempoPercent(percent);
}

bool TempoChannel::setOption(int id, int value) {
    return !released() && stretcher_->setOption(id, value);
}

bool TempoChannel::hasData() const {
    return !released() && !stretcher_->failed() && (!stretcher_->empty() || source_->hasData());
}

bool TempoChannel::stalled() const {
    return !released() && source_->stalled();
}

std::uint64_t TempoChannel::inputPositionFrames() const {
    return released() ? 0 : source_->positionFrames();
}

std::size_t TempoChannel::read(std::int16_t* out, std::size_t frames, SourceWait wait) {
    std::size_t done = 0;
    while (done < frames && !released() && !heldAtStop_) {
        if (stretcher_->failed()) {
            break;  // nothing more can come out: the stream ends here
        }
        std::int16_t* dst = out + done * channels_;
        if (stretcher_->draining()) {
            done += stretcher_->receive(dst, frames - done);
            if (stretcher_->draining()) {
                continue;
            }
            // Drained: the source ended, or a sync callback stopped the channel.
            finishStopFromSync();
            break;
        }
        if (stretcher_->bypassed()) {
            const std::size_t got = source_->readSynced(dst, frames - done, *this, false, wait);
            stretcher_->spliceInto(dst, got);
            done += got;
            if (stopFromSyncRequested()) {
                finishStopFromSync();
                break;
            }
            if (got == 0) {
                break;
            }
            continue;
        }
        done += stretcher_->receive(dst, frames - done);
        if (done == frames) {
            break;
        }
        // Each feed is one run of consecutive source frames: a sync ends it.
        std::uint64_t from = source_->positionFrames();
        const std::size_t fed =
            source_->readSynced(feed_.data(), kFeedFrames, *this, true, wait, &from);
        if (released() || (fed == 0 && source_->stalled())) {
            break;  // freed by a callback, or nothing for the moment: ask again later
        }
        stretcher_->put(feed_.data(), fed, from);
        if (fed == 0 || stopFromSyncRequested()) {
            // What follows the stop point pushes the held audio out; it is not played.
            const std::size_t tail = source_->peek(tail_.data(), kTailFrames);
            stretcher_->drain(tail_.data(), tail);
            if (!stretcher_->draining()) {
                finishStopFromSync();
                break;
            }
        }
    }
    return done;
}

void TempoChannel::finishStopFromSync() {
    // Everything up to the stop point is out: reads give nothing more until the channel is
    // played or moved again. The mixer lets the audio out and then ends the playing.
    if (stopFromSyncRequested()) {
        clearStopFromSync();
        heldAtStop_ = true;
    }
}

void TempoChannel::cancelPendingStop() {
    if (stopFromSyncRequested() && stretcher_->draining() && !released()) {
        // Interrupted while letting out the audio before a stop: continue from what was heard.
        const std::uint64_t at = positionFrames();
        if (source_->seek(at)) {
            stretcher_->clear();
        }
    }
    clearStopFromSync();
    heldAtStop_ = false;
}

void TempoChannel::release() {
    stretcher_->clear();
    syncs().clear();
    markReleased();
}

}  // namespace tarvel::audio
