#include "audio/StretchFormat.h"

#include <algorithm>
#include <cmath>

#include "audio/StereoDownmix.h"

namespace tarvel::audio {

namespace {
// Highest rate the stretcher takes as it is, and the rate a faster source is divided towards.
constexpr std::uint32_t kMaxNativeRate = 192000;
constexpr std::uint32_t kWorkRateTarget = 96000;
// Most channels stretched as they are: every common speaker layout up to 7.1. Beyond that no
// layout is standard and the window plays stereo anyway.
constexpr std::uint32_t kMaxNativeChannels = 8;
constexpr std::uint32_t kStereo = 2;
constexpr float kInt16Scale = 32768.0f;

std::uint32_t RateFactor(std::uint32_t rate) {
    if (rate <= kMaxNativeRate) {
        return 1;
    }
    return (rate + kWorkRateTarget - 1) / kWorkRateTarget;
}

std::int16_t ToInt16(float v) {
    const float scaled = std::nearbyint(v * kInt16Scale);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}
}  // namespace

StretchFormat::StretchFormat(std::uint32_t rate, std::uint32_t channels)
    : rate_(rate),
      channels_(channels),
      workChannels_(channels > kMaxNativeChannels ? kStereo : channels),
      resampler_(RateFactor(rate), workChannels_) {}

void StretchFormat::reset() {
    resampler_.reset();
}

void StretchFormat::toWork(const std::int16_t* in, std::size_t frames, std::vector<float>& work) {
    const std::int16_t* src = in;
    if (workChannels_ != channels_) {
        stereo_.resize(frames * kStereo);
        ToStereo(in, channels_, stereo_.data(), frames);
        src = stereo_.data();
    }
    std::vector<float>& floats = resampler_.factor() == 1 ? work : wide_;
    floats.resize(frames * workChannels_);
    for (std::size_t i = 0; i < frames * workChannels_; ++i) {
        floats[i] = static_cast<float>(src[i]) / kInt16Scale;
    }
    if (resampler_.factor() != 1) {
        work.clear();
        resampler_.decimate(wide_.data(), frames, work);
    }
}

void StretchFormat::fromWork(const float* work, std::size_t frames,
                             std::vector<std::int16_t>& out) {
    const float* src = work;
    std::size_t count = frames;
    if (resampler_.factor() != 1) {
        narrow_.clear();
        resampler_.interpolate(work, frames, narrow_);
        src = narrow_.data();
        count = frames * resampler_.factor();
    }
    const std::size_t base = out.size();
    out.resize(base + count * channels_);
    std::int16_t* dst = out.data() + base;
    if (workChannels_ == channels_) {
        for (std::size_t i = 0; i < count * channels_; ++i) {
            dst[i] = ToInt16(src[i]);
        }
        return;
    }
    for (std::size_t f = 0; f < count; ++f) {
        const std::int16_t left = ToInt16(src[f * kStereo]);
        const std::int16_t right = ToInt16(src[f * kStereo + 1]);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            dst[f * channels_ + c] = c % 2 == 0 ? left : right;
        }
    }
}

}  // namespace tarvel::audio
