#include "audio/StretchEnding.h"

#include <algorithm>
#include <cmath>

#include "audio/FadeCurve.h"

namespace tarvel::audio {

namespace {
constexpr float kSampleMax = 32767.0f;
constexpr float kSampleMin = -32768.0f;
// The crossfade takes this share of the ending; the source alone plays the rest.
constexpr std::size_t kFadeParts = 2;
constexpr std::size_t kAllParts = 3;
}  // namespace

StretchEnding::StretchEnding(std::uint32_t channels, std::size_t endingFrames)
    : channels_(std::max<std::uint32_t>(channels, 1)),
      capacity_(endingFrames),
      last_(endingFrames * channels_) {}

void StretchEnding::remember(const std::int16_t* in, std::size_t frames, bool continuous) {
    if (!continuous) {
        held_ = 0;
    }
    if (capacity_ == 0 || frames == 0) {
        return;
    }
    if (frames >= capacity_) {
        std::copy_n(in + (frames - capacity_) * channels_, capacity_ * channels_, last_.begin());
        held_ = capacity_;
        return;
    }
    // Keep the newest: shift out what no longer fits, append behind what stays.
    const std::size_t keep = std::min(held_, capacity_ - frames);
    std::copy_n(last_.begin() + static_cast<std::ptrdiff_t>((held_ - keep) * channels_),
                keep * channels_, last_.begin());
    std::copy_n(in, frames * channels_,
                last_.begin() + static_cast<std::ptrdiff_t>(keep * channels_));
    held_ = keep + frames;
}

void StretchEnding::apply(std::int16_t* out, std::size_t frames) const {
    const std::size_t length = std::min({frames, held_, capacity_});
    if (length == 0) {
        return;
    }
    const std::size_t fade = length * kFadeParts / kAllParts;
    std::int16_t* dst = out + (frames - length) * channels_;
    const std::int16_t* src = last_.data() + (held_ - length) * channels_;

    // How alike the stretched audio and the source are over the crossfade.
    double cross = 0.0;
    double stretchedPower = 0.0;
    double sourcePower = 0.0;
    for (std::size_t i = 0; i < fade * channels_; ++i) {
        cross += static_cast<double>(dst[i]) * src[i];
        stretchedPower += static_cast<double>(dst[i]) * dst[i];
        sourcePower += static_cast<double>(src[i]) * src[i];
    }
    const double norm = std::sqrt(stretchedPower * sourcePower);
    // Opposed sides are treated as unrelated: gains that cancel them out would have to be huge.
    const double alike = norm > 0.0 ? std::clamp(cross / norm, 0.0, 1.0) : 0.0;

    const FadeCurve curve(fade, FadeCurve::Shape::RaisedCosine);
    for (std::size_t k = 0; k < length; ++k) {
        double a = 0.0;
        double b = 1.0;
        if (k < fade) {
            b = curve.in(k);
            a = 1.0 - b;
            // The power of a·x + b·y with correlation `alike` between x and y of equal power.
            const double power = a * a + b * b + 2.0 * alike * a * b;
            const double g = power > 0.0 ? 1.0 / std::sqrt(power) : 1.0;
            a *= g;
            b *= g;
        }
        for (std::uint32_t c = 0; c < channels_; ++c) {
            const std::size_t i = k * channels_ + c;
            const auto v = static_cast<float>(a * dst[i] + b * src[i]);
            dst[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, kSampleMin, kSampleMax)));
        }
    }
}

}  // namespace tarvel::audio
