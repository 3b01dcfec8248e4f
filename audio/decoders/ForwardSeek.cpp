#include "audio/decoders/ForwardSeek.h"

#include <algorithm>

namespace tarvel::audio {
namespace {
constexpr std::size_t kSkipChunkFrames = 4096;
}  // namespace

ForwardSeek::ForwardSeek(std::uint32_t channels, std::uint64_t length, std::uint64_t live,
                         std::size_t cacheBytes)
    : channels_(channels),
      length_(length),
      capSamples_(cacheBytes / sizeof(std::int16_t)),
      pos_(live),
      live_(live) {}

bool ForwardSeek::seek(std::uint64_t frame) {
    if (frame > length_) {
        return false;
    }
    if (!caching_) {
        caching_ = true;
        cacheStart_ = live_;
    }
    pos_ = frame;
    return true;
}

void ForwardSeek::keep(const std::int16_t* frames, std::size_t count) {
    // Only what continues the cached run, while there is room.
    if (!caching_ || live_ != cacheStart_ + cachedFrames()) {
        return;
    }
    const std::size_t room = capSamples_ > cache_.size() ? capSamples_ - cache_.size() : 0;
    const std::size_t samples = std::min(count * channels_, room - room % channels_);
    cache_.insert(cache_.end(), frames, frames + samples);
}

std::size_t ForwardSeek::read(ForwardStream& stream, std::int16_t* out, std::size_t frames) {
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
    std::size_t done = 0;
    while (done < frames) {
        const std::uint64_t cacheEnd = cacheStart_ + cachedFrames();
        if (pos_ >= cacheStart_ && pos_ < cacheEnd) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(frames - done, cacheEnd - pos_));
            const auto from = static_cast<std::ptrdiff_t>((pos_ - cacheStart_) * channels_);
            std::copy_n(cache_.begin() + from, n * channels_, out + done * channels_);
            pos_ += n;
            done += n;
            continue;
        }
        if (live_ > pos_) {
            if (!stream.restart()) {
                break;
            }
            live_ = 0;
            // The run starts over from the beginning, which is decoded again anyway.
            cache_.clear();
            cacheStart_ = 0;
        }
        if (live_ < pos_) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(pos_ - live_, kSkipChunkFrames));
            scratch_.resize(n * channels_);
            const std::size_t got = stream.readForward(scratch_.data(), n);
            if (got == 0) {
                break;
            }
            keep(scratch_.data(), got);
            live_ += got;
            continue;
        }
        std::int16_t* dst = out + done * channels_;
        const std::size_t got = stream.readForward(dst, frames - done);
        if (got == 0) {
            break;
        }
        keep(dst, got);
        live_ += got;
        pos_ += got;
        done += got;
    }
    return done;
}

}  // namespace tarvel::audio
