#include "audio/FadeCurve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvel::audio {

FadeCurve::FadeCurve(std::size_t frames, Shape shape) : in_(frames) {
    for (std::size_t k = 0; k < frames; ++k) {
        // Sampled at the frame centres, so that in(k) and out(k) mirror each other exactly.
        const double t = (static_cast<double>(k) + 0.5) / static_cast<double>(frames);
        const double smooth = 0.5 - 0.5 * std::cos(std::numbers::pi * t);
        const double g =
            shape == Shape::EqualPower ? std::sin(std::numbers::pi / 2.0 * smooth) : smooth;
        in_[k] = static_cast<float>(g);
    }
}

std::size_t FadeFrames(unsigned rate, double seconds) {
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate * seconds)));
}

}  // namespace tarvel::audio
