// Sources the stretcher cannot take as they are (above 192 kHz, more than 8 channels) still play
// at every speed, at their own pitch and level, in their own rate and channel count; and the rate
// filters used for them pass the audible band with the delay they state.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/IntegerResampler.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

constexpr double kEvenHz = 440.0;
constexpr double kOddHz = 660.0;  // MakeSine puts 1.5 x the frequency on odd channels
constexpr double kAmplitude = 0.5;

struct Shape {
    std::uint32_t rate;
    std::uint32_t channels;
};

// Rising zero crossings per second of channel `c` over the middle half of `pcm`.
double Frequency(const std::vector<std::int16_t>& pcm, std::uint32_t channels, std::uint32_t c,
                 std::uint32_t rate) {
    const std::size_t frames = pcm.size() / channels;
    const std::size_t from = frames / 4;
    const std::size_t to = frames * 3 / 4;
    int crossings = 0;
    for (std::size_t f = from + 1; f < to; ++f) {
        if (pcm[(f - 1) * channels + c] < 0 && pcm[f * channels + c] >= 0) {
            ++crossings;
        }
    }
    return crossings * static_cast<double>(rate) / static_cast<double>(to - from);
}

double Rms(const std::vector<std::int16_t>& pcm, std::uint32_t channels, std::uint32_t c) {
    const std::size_t frames = pcm.size() / channels;
    double sum = 0.0;
    for (std::size_t f = frames / 4; f < frames * 3 / 4; ++f) {
        const double v = pcm[f * channels + c];
        sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(frames / 2));
}

DWORD OpenTempo(const Shape& s, std::size_t frames) {
    const HSTREAM source =
        OpenPcmStream(test::MakeSine(s.rate, s.channels, frames, kEvenHz, kAmplitude));
    if (source == 0) {
        return 0;
    }
    const DWORD tempo = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_STREAM_DECODE);
    if (tempo == 0) {
        BASS_StreamFree(source);
    }
    return tempo;
}

void SetSpeed(DWORD tempo, int percent, std::uint32_t rate) {
    ASSERT_TRUE(
        BASS_FX_TempoSet(tempo, static_cast<float>(percent - 100), static_cast<float>(rate), 0.0f));
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, 32);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, 20);
}

void ExpectSameSound(const std::vector<std::int16_t>& out, const Shape& s) {
    const double rms = kAmplitude * 32767.0 / std::numbers::sqrt2;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        const double want = c % 2 == 0 ? kEvenHz : kOddHz;
        EXPECT_NEAR(Frequency(out, s.channels, c, s.rate), want, want * 0.02) << "channel " << c;
        EXPECT_NEAR(Rms(out, s.channels, c), rms, rms * 0.1) << "channel " << c;
    }
}

class OddShapes : public ::testing::TestWithParam<std::tuple<Shape, int>> {};

TEST_P(OddShapes, PlayAtEverySpeedWithTheirOwnPitchLevelAndByteScale) {
    const auto [shape, speed] = GetParam();
    const std::size_t frames = shape.rate;  // one second
    const DWORD tempo = OpenTempo(shape, frames);
    ASSERT_NE(tempo, 0u);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(tempo, &info));
    EXPECT_EQ(info.freq, shape.rate);
    EXPECT_EQ(info.chans, shape.channels);
    SetSpeed(tempo, speed, shape.rate);

    const std::vector<std::int16_t> out = ReadAllData(tempo);
    const double outFrames = static_cast<double>(out.size()) / shape.channels;
    const double nominal = static_cast<double>(frames) * 100.0 / speed;
    EXPECT_NEAR(outFrames, nominal, nominal * 0.02 + shape.rate * 0.02);
    ExpectSameSound(out, shape);
    EXPECT_EQ(BASS_ChannelGetPosition(tempo), QWORD{frames} * shape.channels * 2);
    BASS_StreamFree(tempo);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, OddShapes,
    ::testing::Combine(::testing::Values(Shape{44100, 2}, Shape{192000, 2}, Shape{352800, 2},
                                         Shape{384000, 1}, Shape{44100, 8}, Shape{44100, 16},
                                         Shape{44100, 17}, Shape{48000, 24}, Shape{384000, 18}),
                       ::testing::Values(50, 150, 400)));

TEST(OddShapes, SpeedChangeInTheMiddleOfSixteenChannels) {
    const Shape shape{44100, 16};
    const DWORD tempo = OpenTempo(shape, 88200);
    ASSERT_NE(tempo, 0u);
    std::vector<std::int16_t> buf(4410 * shape.channels);
    ASSERT_EQ(BASS_ChannelGetData(tempo, buf.data(), static_cast<DWORD>(buf.size() * 2)),
              buf.size() * 2);
    SetSpeed(tempo, 150, shape.rate);
    const std::vector<std::int16_t> rest = ReadAllData(tempo);
    ExpectSameSound(rest, shape);
    BASS_StreamFree(tempo);
}

// A tone through decimation and interpolation by `factor`: in the pass band it comes back whole,
// delayed by twice the stated delay; above the lower rate's band it is gone.
struct FilterCase {
    std::uint32_t factor;
    double rate;
    double hz;
    bool passes;
};

class RateFilters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(RateFilters, PassTheBandWithTheStatedDelayAndStopWhatWouldFoldBack) {
    const FilterCase c = GetParam();
    audio::IntegerResampler r(c.factor, 1);
    const std::size_t frames = 48000;
    std::vector<float> in(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        in[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * c.hz *
                                                   static_cast<double>(i) / c.rate));
    }
    std::vector<float> low;
    std::vector<float> back;
    // In uneven pieces, as the stretcher feeds it.
    for (std::size_t at = 0; at < frames;) {
        const std::size_t n = std::min<std::size_t>(frames - at, 1 + (at * 7919) % 1000);
        r.decimate(in.data() + at, n, low);
        at += n;
    }
    ASSERT_EQ(low.size(), frames / c.factor);
    r.interpolate(low.data(), low.size(), back);
    ASSERT_EQ(back.size(), frames);
    const std::size_t delay = 2 * r.delayFrames();
    double err = 0.0;
    double energy = 0.0;
    for (std::size_t i = frames / 4; i < frames * 3 / 4; ++i) {
        const double d = back[i] - in[i - delay];
        err += d * d;
        energy += static_cast<double>(back[i]) * back[i];
    }
    const double ref = 0.125 * static_cast<double>(frames / 2);  // a 0.5 sine's energy
    if (c.passes) {
        EXPECT_LT(10.0 * std::log10(err / ref), -50.0);
    } else {
        EXPECT_LT(10.0 * std::log10(energy / ref), -60.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tones, RateFilters,
    ::testing::Values(FilterCase{4, 384000, 1000, true}, FilterCase{4, 384000, 20000, true},
                      FilterCase{3, 240000, 18000, true}, FilterCase{4, 352800, 60000, false},
                      FilterCase{3, 240000, 45000, false}, FilterCase{1, 44100, 15000, true}));

}  // namespace
}  // namespace tarvel::engine_test
