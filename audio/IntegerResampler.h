// Sample-rate change by a whole factor with one linear-phase low-pass filter: a decimator that
// keeps every d-th filtered frame, and an interpolator that makes d frames of each one.
//
// Both delay the audio by a fixed, known number of frames at the high rate (`DelayFrames`), so a
// caller can map frames on one side exactly to frames on the other. Interleaved float frames.
// Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::audio {

class IntegerResampler {
  public:
    // `factor` >= 1; `channels` >= 1.
    IntegerResampler(std::uint32_t factor, std::uint32_t channels);

    std::uint32_t factor() const { return factor_; }
    // Frames at the high rate by which the output of either direction lags its input.
    std::size_t delayFrames() const { return (taps_.size() - 1) / 2; }

    // High-rate frames in, low-rate frames appended to `out`.
    void decimate(const float* in, std::size_t frames, std::vector<float>& out);
    // Low-rate frames in, `factor` times as many high-rate frames appended to `out`.
    void interpolate(const float* in, std::size_t frames, std::vector<float>& out);
    // Forgets the audio held in both directions, as at construction.
    void reset();

  private:
    const std::uint32_t factor_;
    const std::uint32_t channels_;
    std::vector<float> taps_;         // low-pass, unit gain at DC, odd length, symmetric
    std::vector<float> downHistory_;  // the last taps-1 high-rate input frames
    std::size_t downPhase_ = 0;       // input frames until the next kept one
    std::vector<float> upHistory_;    // the last low-rate input frames the filter reaches
    std::vector<float> scratch_;
};

}  // namespace tarvel::audio
