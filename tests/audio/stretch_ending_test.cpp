// The end of a stretched stream: it lasts exactly as long as its input stands for and ends on the
// source's own frames before the mark, joined without a dip or a swell.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/StretchEnding.h"
#include "audio/TempoStretcher.h"
#include "tests/support/TestAudio.h"

namespace tarvel::audio {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::size_t kEnding = 662;  // 15 ms
constexpr std::size_t kSourceOnly = kEnding - kEnding * 2 / 3;

std::vector<std::int16_t> Noise(std::size_t frames, std::uint32_t channels, unsigned seed) {
    return test::MakeNoise(kRate, channels, frames, seed, 0.5).samples;
}

double Rms(const std::vector<std::int16_t>& v, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(v[i]) * v[i];
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(StretchEnding, RemembersTheNewestFramesWhateverTheChunksAndForgetsAtAJump) {
    const std::vector<std::int16_t> source = Noise(5000, 2, 1);
    for (const std::size_t chunk : {1u, 7u, 661u, 662u, 663u, 5000u}) {
        StretchEnding ending(2, kEnding);
        ending.remember(Noise(100, 2, 9).data(), 100, true);  // before a jump
        for (std::size_t at = 0; at < 5000; at += chunk) {
            const std::size_t n = std::min(chunk, 5000 - at);
            ending.remember(source.data() + at * 2, n, at != 0);
        }
        ASSERT_EQ(ending.remembered(), kEnding) << chunk;
        // Applied to a silent stream, the last third is the source's last frames exactly.
        std::vector<std::int16_t> out(2 * 2000, 0);
        ending.apply(out.data(), 2000);
        for (std::size_t k = 1; k <= kSourceOnly * 2; ++k) {
            ASSERT_EQ(out[out.size() - k], source[source.size() - k]) << chunk << " " << k;
        }
        EXPECT_EQ(out[2 * (2000 - kEnding) - 1], 0) << "touched before the ending";
    }
    StretchEnding fresh(1, kEnding);
    fresh.remember(Noise(10, 1, 2).data(), 10, true);
    fresh.remember(Noise(5, 1, 3).data(), 5, false);
    EXPECT_EQ(fresh.remembered(), 5u);
}

TEST(StretchEnding, JoinsAlikeSidesUnchangedAndUnrelatedOnesAtTheirLoudness) {
    const std::vector<std::int16_t> source = Noise(kEnding, 1, 4);
    struct Case {
        const char* name;
        std::vector<std::int16_t> stretched;
        double maxDb;  // loudness of the crossfade against the sides'
    };
    const std::vector<Case> cases = {{"alike", source, 0.1},
                                     {"unrelated", Noise(kEnding, 1, 5), 1.5}};
    for (const Case& c : cases) {
        StretchEnding ending(1, kEnding);
        ending.remember(source.data(), kEnding, true);
        std::vector<std::int16_t> out = c.stretched;
        ending.apply(out.data(), kEnding);
        // The middle of the crossfade, where a wrong gain law dips or swells most.
        const std::size_t from = kEnding / 6;
        const std::size_t to = kEnding / 2;
        const double db = 20.0 * std::log10(Rms(out, from, to) / Rms(source, from, to));
        EXPECT_LT(std::abs(db), c.maxDb) << c.name;
        if (std::string(c.name) == "alike") {
            for (std::size_t i = 0; i < kEnding; ++i) {
                ASSERT_NEAR(out[i], source[i], 1) << i;
            }
        }
    }
}

TEST(StretchEnding, AStreamShorterThanTheEndingStillEndsOnTheSource) {
    const std::vector<std::int16_t> source = Noise(kEnding, 1, 6);
    StretchEnding ending(1, kEnding);
    ending.remember(source.data(), kEnding, true);
    std::vector<std::int16_t> out(90, 0);
    ending.apply(out.data(), out.size());
    for (std::size_t k = 1; k <= 30; ++k) {
        ASSERT_EQ(out[out.size() - k], source[source.size() - k]) << k;
    }
}

class StretcherEnding : public ::testing::TestWithParam<int> {};

TEST_P(StretcherEnding, LastsWhatItsInputStandsForAndEndsOnTheLastFrameFed) {
    const int speed = GetParam();
    constexpr std::size_t kFed = 30011;
    constexpr std::size_t kFeed = 512;
    const std::vector<std::int16_t> source = Noise(kFed + 8192, 2, 7);
    TempoStretcher stretcher(kRate, 2);
    stretcher.setTempoPercent(speed - 100.0);
    stretcher.setOption(3, 32);  // the player's sequence and seek-window lengths
    stretcher.setOption(4, 20);
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> block(2 * 700);
    const auto take = [&] {
        for (std::size_t got = 1; got > 0;) {
            got = stretcher.receive(block.data(), 700);
            out.insert(out.end(), block.begin(),
                       block.begin() + static_cast<std::ptrdiff_t>(got * 2));
        }
    };
    for (std::size_t at = 0; at < kFed; at += kFeed) {
        const std::size_t n = std::min(kFeed, kFed - at);
        stretcher.put(source.data() + at * 2, n, at);
        take();
    }
    stretcher.drain(source.data() + kFed * 2, 8192);
    take();
    EXPECT_FALSE(stretcher.draining());
    const double expected = kFed * 100.0 / speed;
    EXPECT_NEAR(static_cast<double>(out.size() / 2), expected, 1.0);
    // The stretcher holds a whole ending back, so the source alone plays its full third.
    for (std::size_t k = 1; k <= kSourceOnly * 2; ++k) {
        ASSERT_EQ(out[out.size() - k], source[kFed * 2 - k]) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, StretcherEnding, ::testing::Values(50, 75, 150, 200, 400));

}  // namespace
}  // namespace tarvel::audio
