// Faster than normal, up to 400 %, the stretcher keeps the attacks: a time-domain stretcher skips
// most of the input at high speeds and with it most short sounds, which in speech are the
// consonants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using test::Pcm;

constexpr DWORD kRate = 44100;
constexpr std::size_t kPeriod = kRate / 4;  // a click every 250 ms
constexpr std::size_t kClicks = 24;
constexpr std::size_t kClickFrames = kRate * 3 / 1000;

// Decaying 3 ms noise bursts over silence, the first a period in.
Pcm ClickTrain() {
    Pcm pcm{kRate, 1, std::vector<std::int16_t>((kClicks + 2) * kPeriod, 0)};
    std::mt19937 noise(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (std::size_t k = 1; k <= kClicks; ++k) {
        for (std::size_t i = 0; i < kClickFrames; ++i) {
            const double v = 0.6 * gauss(noise) * std::exp(-static_cast<double>(i) / 35.0);
            pcm.samples[k * kPeriod + i] =
                static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
        }
    }
    return pcm;
}

class Transients : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { ASSERT_TRUE(audio::InitCapture(kRate)); }
    void TearDown() override { BASS_Free(); }
};

TEST_P(Transients, EveryClickOfATrainIsHeardOnce) {
    const double speed = GetParam() / 100.0;
    const Pcm pcm = ClickTrain();
    const HSTREAM h = PlayerTempo(OpenPcmStream(pcm), BASS_FX_FREESOURCE, GetParam());
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const auto frames = static_cast<std::size_t>(static_cast<double>(pcm.frames()) / speed);
    std::vector<std::int16_t> stereo(frames * 2);
    audio::CaptureRender(stereo.data(), frames);
    // Each click's share of the output: half a period either side of where it belongs.
    const double spacing = static_cast<double>(kPeriod) / speed;
    int heard = 0;
    int doubled = 0;
    for (std::size_t k = 1; k <= kClicks; ++k) {
        const double at = static_cast<double>(k * kPeriod) / speed;
        const auto from = static_cast<std::size_t>(at - spacing / 2);
        const auto to = std::min(frames, static_cast<std::size_t>(at + spacing / 2));
        // Heard: a hundredth of the burst's energy at least (-20 dB: a smeared burst keeps more, a
        // skipped one leaves next to nothing). Doubled: a second peak half as loud, 5 ms or
        // more from the loudest.
        double in = 0.0;
        for (std::size_t i = 0; i < kClickFrames; ++i) {
            in += std::pow(pcm.samples[k * kPeriod + i], 2.0);
        }
        double out = 0.0;
        std::size_t peakAt = from;
        for (std::size_t i = from; i < to; ++i) {
            out += std::pow(stereo[2 * i], 2.0);
            peakAt = std::abs(stereo[2 * i]) > std::abs(stereo[2 * peakAt]) ? i : peakAt;
        }
        heard += out > in / 100 ? 1 : 0;
        const int peak = std::abs(stereo[2 * peakAt]);
        for (std::size_t i = from; i < to; ++i) {
            const std::size_t apart = i > peakAt ? i - peakAt : peakAt - i;
            if (apart > kRate / 200 && std::abs(stereo[2 * i]) > peak / 2) {
                ++doubled;
                break;
            }
        }
    }
    EXPECT_GE(heard, static_cast<int>(kClicks) * 9 / 10);
    EXPECT_LE(doubled, static_cast<int>(kClicks) * 3 / 10);
}

INSTANTIATE_TEST_SUITE_P(Speeds, Transients, ::testing::Values(125, 150, 200, 250, 300, 400));

}  // namespace
}  // namespace tarvel::engine_test
