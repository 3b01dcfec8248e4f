// Peak levels as the level operations report them: |sample| 0..32768 per side, left in the low
// word and right in the high word.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

inline std::uint32_t PeakOf(std::int16_t s) {
    return static_cast<std::uint32_t>(s < 0 ? -static_cast<std::int32_t>(s) : s);
}

struct StereoPeak {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    void add(std::int16_t l, std::int16_t r) {
        left = std::max(left, PeakOf(l));
        right = std::max(right, PeakOf(r));
    }
    std::uint32_t packed() const { return (right << 16) | left; }
};

// Peaks of interleaved frames: a mono source reads the same on both sides; with more than two
// channels the even-numbered ones count as left and the odd-numbered ones as right.
StereoPeak MeasurePeaks(const std::int16_t* samples, std::size_t frames, std::uint32_t channels);

}  // namespace tarvel::audio
