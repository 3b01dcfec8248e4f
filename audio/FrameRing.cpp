#include "audio/FrameRing.h"

#include <algorithm>

namespace tarvel::audio {

namespace {
std::uint64_t PowerOfTwoAtLeast(std::size_t n) {
    std::uint64_t c = 1;
    while (c < n) {
        c <<= 1;
    }
    return c;
}
}  // namespace

FrameRing::FrameRing(std::size_t minFrames)
    : mask_(PowerOfTwoAtLeast(std::max<std::size_t>(minFrames, 2)) - 1),
      samples_(static_cast<std::size_t>(mask_ + 1) * kStereo, 0) {}

std::size_t FrameRing::space() const {
    const std::uint64_t w = write_.load(std::memory_order_relaxed);
    const std::uint64_t r = read_.load(std::memory_order_acquire);
    const std::uint64_t used = w > r ? w - r : 0;
    return used >= capacity() ? 0 : static_cast<std::size_t>(capacity() - used);
}

void FrameRing::write(const std::int16_t* stereo, std::size_t frames) {
    const std::uint64_t w = write_.load(std::memory_order_relaxed);
    for (std::size_t k = 0; k < frames; ++k) {
        const std::size_t slot = static_cast<std::size_t>((w + k) & mask_) * kStereo;
        samples_[slot] = stereo[k * kStereo];
        samples_[slot + 1] = stereo[k * kStereo + 1];
    }
    write_.store(w + frames, std::memory_order_release);
}

void FrameRing::truncate(std::uint64_t to) {
    if (to < write_.load(std::memory_order_relaxed)) {
        write_.store(to, std::memory_order_release);
    }
}

std::size_t FrameRing::readableFrom(std::uint64_t from) const {
    const std::uint64_t w = write_.load(std::memory_order_acquire);
    return w > from ? static_cast<std::size_t>(w - from) : 0;
}

}  // namespace tarvel::audio
