// The gain curve of a short fade or crossfade over a fixed number of frames.
//
// in(k) rises from near 0 to near 1 over frames() frames and out(k) falls the same way, with
// out(k) = in(frames() - 1 - k), so that a fade-out and a fade-in laid over the same frames make
// a crossfade. Both shapes start and end with zero slope (no kink at either end, which would
// splatter energy across the spectrum):
//  - EqualPower: in² + out² = 1, the sum of two unrelated signals keeps its loudness;
//  - RaisedCosine: in + out = 1, the sum of two identical signals keeps its amplitude.
#pragma once

#include <cstddef>
#include <vector>

namespace tarvel::audio {

class FadeCurve {
  public:
    enum class Shape { EqualPower, RaisedCosine };

    // Allocates here only; `frames` of 0 makes an empty curve.
    FadeCurve(std::size_t frames, Shape shape);

    std::size_t frames() const { return in_.size(); }
    float in(std::size_t k) const { return in_[k]; }
    float out(std::size_t k) const { return in_[in_.size() - 1 - k]; }

  private:
    std::vector<float> in_;
};

// Frames of `seconds` at `rate`, at least 1.
std::size_t FadeFrames(unsigned rate, double seconds);

}  // namespace tarvel::audio
