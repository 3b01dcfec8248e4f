// Peak measurement over interleaved frames: the blocked stereo path must agree with a plain
// sample-by-sample reading wherever the loudest sample sits (inside a block, in the tail after
// the last whole block, on either side) and for the extreme values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/LevelMeter.h"

namespace tarvel::audio {
namespace {

std::uint32_t Magnitude(std::int16_t s) {
    return s < 0 ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(s))
                 : static_cast<std::uint32_t>(s);
}

// Even channels left, odd channels right; mono on both sides.
StereoPeak Reference(const std::vector<std::int16_t>& samples, std::uint32_t channels) {
    StereoPeak p;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::uint32_t m = Magnitude(samples[i]);
        const std::size_t c = i % channels;
        if (channels == 1 || c % 2 == 0) {
            p.left = std::max(p.left, m);
        }
        if (channels == 1 || c % 2 == 1) {
            p.right = std::max(p.right, m);
        }
    }
    return p;
}

struct PeakCase {
    std::uint32_t channels;
    std::size_t frames;
    std::size_t spikeSample;  // where the loud sample goes
    std::int16_t spike;
};

class Peaks : public ::testing::TestWithParam<PeakCase> {};

TEST_P(Peaks, MatchSampleBySampleReading) {
    const PeakCase c = GetParam();
    std::vector<std::int16_t> samples(c.frames * c.channels);
    // A quiet, sign-alternating bed that differs per side.
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::int16_t>(static_cast<int>(i % 97) * (i % 3 == 0 ? -3 : 2));
        samples[i] = v;
    }
    if (c.spikeSample < samples.size()) {
        samples[c.spikeSample] = c.spike;
    }
    const StereoPeak got = MeasurePeaks(samples.data(), c.frames, c.channels);
    const StereoPeak want = Reference(samples, c.channels);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.packed(), (want.right << 16) | want.left);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Peaks,
    ::testing::Values(
        // Stereo: 882 frames is one 20 ms reading at 44.1 kHz; its last block is partial.
        PeakCase{2, 882, 0, -32768}, PeakCase{2, 882, 1, -32768}, PeakCase{2, 882, 1762, 32767},
        PeakCase{2, 882, 1763, -32768}, PeakCase{2, 882, 1000, -32767},
        PeakCase{2, 882, 1001, 30000},
        // Stereo shorter than a block, exactly one block, one block and a frame.
        PeakCase{2, 3, 5, -32768}, PeakCase{2, 16, 31, -32768}, PeakCase{2, 17, 32, 32767},
        PeakCase{2, 17, 33, -32768}, PeakCase{2, 0, 0, 0},
        // No spike at all: the bed's own peak.
        PeakCase{2, 882, ~std::size_t{0}, 0},
        // Mono, three and four channels.
        PeakCase{1, 441, 440, -32768}, PeakCase{3, 100, 2, -32768}, PeakCase{3, 100, 299, 32767},
        PeakCase{4, 100, 3, -32768}));

TEST(Peaks, AllNegativeFullScaleReadsFullScaleOnBothSides) {
    const std::vector<std::int16_t> samples(882 * 2, -32768);
    EXPECT_EQ(MeasurePeaks(samples.data(), 882, 2).packed(), (32768u << 16) | 32768u);
}

}  // namespace
}  // namespace tarvel::audio
