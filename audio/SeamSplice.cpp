#include "audio/SeamSplice.h"

#include <algorithm>
#include <cmath>

namespace tarvel::audio {

namespace {
constexpr float kSampleMax = 32767.0f;
constexpr float kSampleMin = -32768.0f;
}  // namespace

SeamSplice::SeamSplice(std::size_t frames, std::uint32_t channels, FadeCurve::Shape shape)
    : channels_(std::max<std::uint32_t>(channels, 1)),
      curve_(frames, shape),
      held_(frames * channels_, 0),
      next_(frames * channels_, 0) {}

void SeamSplice::begin(std::size_t got) {
    got = std::min(got, frames());
    std::fill(next_.begin() + static_cast<std::ptrdiff_t>(got * channels_), next_.end(), 0);
    // What would have been heard after the old position: the continuation, with what is left of
    // a crossfade still under way.
    apply(next_.data(), frames());
    held_.swap(next_);
    at_ = 0;
    started_ = true;
}

void SeamSplice::apply(std::int16_t* frames, std::size_t count) {
    if (!active()) {
        return;
    }
    const std::size_t n = std::min(count, this->frames() - at_);
    for (std::size_t f = 0; f < n; ++f, ++at_) {
        const float in = curve_.in(at_);
        const float out = curve_.out(at_);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            std::int16_t& s = frames[f * channels_ + c];
            const float mixed = static_cast<float>(s) * in + held_[at_ * channels_ + c] * out;
            s = static_cast<std::int16_t>(std::lround(std::clamp(mixed, kSampleMin, kSampleMax)));
        }
    }
}

}  // namespace tarvel::audio
