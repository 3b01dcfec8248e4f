// Playback through the capture output: loop seams at every speed, pitch, single play, end syncs,
// stop and resume, volume, level, position and rate conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using test::Pcm;

constexpr DWORD kRate = 44100;
constexpr DWORD kLoadFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;
constexpr double kFullScale = 32768.0;
// Playback fades in at a start and out at a stop over a few milliseconds: at most this many
// frames differ from the source there.
constexpr std::size_t kFadeFrames = kRate / 100;

// What the player's sync callback does: back to the start in repeat play, stop in single play.
// Here it also switches to single play after a given number of passes.
struct LoopState {
    QWORD start = 0;
    std::atomic<int> fired{0};
    int repeatPasses = 0;  // seams before the stop
};

void LoopSync(HSYNC, DWORD channel, DWORD, void* user) {
    auto* s = static_cast<LoopState*>(user);
    const int n = ++s->fired;
    if (n <= s->repeatPasses) {
        if (!BASS_ChannelSetPosition(channel, s->start)) {
            BASS_ChannelSetPosition(channel, 0);
        }
    } else {
        BASS_ChannelStop(channel);
    }
}

class Playback : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(audio::InitCapture(kRate)); }
    void TearDown() override { BASS_Free(); }

    // Opens the way the player's load does, then applies the speed the way play does.
    static HSTREAM Open(Pcm pcm, int speedPercent) {
        return PlayerTempo(OpenPcmStream(std::move(pcm)), kLoadFlags, speedPercent);
    }

    // The left side up to the last frame the channel produced.
    static std::vector<std::int16_t> RenderUntilStopped(HSTREAM h, std::size_t maxFrames) {
        return RenderLeftWhilePlaying(h, maxFrames, 64, true);
    }

    static std::vector<std::int16_t> Render(std::size_t frames) {
        std::vector<std::int16_t> out(frames * 2);
        audio::CaptureRender(out.data(), frames);
        return out;
    }
};

// The largest |y[n+1] - 2cos(w) y[n] + y[n-1]| over [from, to), as a fraction of full scale:
// zero for a pure sine of angular step w, large at any jump, gap or overlap.
double WorstResidual(const std::vector<std::int16_t>& y, double w, std::size_t from,
                     std::size_t to) {
    const double c = 2.0 * std::cos(w);
    double worst = 0.0;
    for (std::size_t n = std::max<std::size_t>(from, 1); n + 1 < std::min(to, y.size()); ++n) {
        worst = std::max(worst, std::abs(y[n + 1] - c * y[n] + y[n - 1]) / kFullScale);
    }
    return worst;
}

class LoopSeams : public Playback, public ::testing::WithParamInterface<int> {};

TEST_P(LoopSeams, RepeatPlayHasNoDiscontinuityAndTheExpectedLength) {
    const int speed = GetParam();
    constexpr double kFreq = 441.0;
    constexpr int kPasses = 5;
    const HSTREAM h = Open(MonoSine(kRate, kRate * 3, kFreq, 0.5), speed);
    ASSERT_NE(h, 0u);
    LoopState loop;
    loop.start = kRate * 2;  // 1.000 s in bytes (mono)
    loop.repeatPasses = kPasses - 1;
    const QWORD end = kRate * 2 * 2;  // 2.000 s
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, end, &LoopSync, &loop), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, loop.start));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = RenderUntilStopped(h, kRate * 30);
    EXPECT_EQ(loop.fired.load(), kPasses);
    const double expected = kPasses * kRate * 100.0 / speed;
    EXPECT_NEAR(static_cast<double>(out.size()), expected, expected * 0.01);
    // After the stretcher's start-up, and up to the end of the last pass.
    const std::size_t startUp = speed == 100 ? 0 : kRate / 10;
    const double w = 2.0 * std::numbers::pi * kFreq / kRate;
    EXPECT_LT(WorstResidual(out, w, startUp, out.size()), 0.01);
    EXPECT_EQ(BASS_ChannelGetPosition(h), end);
}

INSTANTIATE_TEST_SUITE_P(Speeds, LoopSeams, ::testing::Values(50, 75, 100, 150, 200, 400));

// Frequency from the count of rising zero crossings over the middle of the output.
double MeasuredFrequency(const std::vector<std::int16_t>& y) {
    const std::size_t from = y.size() / 4;
    const std::size_t to = y.size() * 3 / 4;
    std::size_t first = 0;
    std::size_t last = 0;
    int crossings = 0;
    for (std::size_t n = from; n + 1 < to; ++n) {
        if (y[n] < 0 && y[n + 1] >= 0) {
            if (crossings == 0) {
                first = n;
            }
            last = n;
            ++crossings;
        }
    }
    return crossings > 1
               ? (crossings - 1) * static_cast<double>(kRate) / static_cast<double>(last - first)
               : 0.0;
}

class Pitch : public Playback, public ::testing::WithParamInterface<int> {};

TEST_P(Pitch, ToneKeepsItsFrequencyAtAnySpeed) {
    const HSTREAM h = Open(MonoSine(kRate, kRate * 8, 440.0, 0.5), GetParam());
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> stereo = Render(kRate * 3 / 2);
    std::vector<std::int16_t> left(stereo.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = stereo[i * 2];
    }
    EXPECT_NEAR(MeasuredFrequency(left), 440.0, 440.0 * 0.005);
}

INSTANTIATE_TEST_SUITE_P(Speeds, Pitch, ::testing::Values(50, 100, 400));

// Where in `source` (mono) the last frames of `out` come from: the end of the best-matching run,
// searched around `near`.
double SourceFrameOfEnd(const std::vector<std::int16_t>& out,
                        const std::vector<std::int16_t>& source, std::size_t near) {
    constexpr std::size_t kRun = 32;
    const std::size_t span = kRate / 5;
    double best = 1e300;
    std::size_t bestEnd = 0;
    for (std::size_t end = std::max(near, span) - span + kRun;
         end < std::min(source.size(), near + span); ++end) {
        double e = 0.0;
        for (std::size_t i = 0; i < kRun; ++i) {
            const double d = out[out.size() - kRun + i] - source[end - kRun + i];
            e += d * d;
        }
        if (e < best) {
            best = e;
            bestEnd = end;
        }
    }
    return static_cast<double>(bestEnd);
}

// Whether the last end-fade's frames of the `length` frames of `out` are the source frames just
// before `mark` faded out: each has the source's sign and no more than its size. Other audio
// would break this at about every other frame.
bool EndsOnTheSource(const std::vector<std::int16_t>& out, std::size_t length,
                     const std::vector<std::int16_t>& source, std::size_t mark) {
    for (std::size_t k = 1; k <= kEndFadeFrames; ++k) {
        const int x = length >= k && length - k < out.size() ? out[length - k] : 0;
        const int y = source[mark - k];
        if (std::abs(x) > std::abs(y) + 1 || (std::abs(x) > 1 && (x > 0) != (y > 0))) {
            return false;
        }
    }
    return true;
}

class SinglePlay : public Playback, public ::testing::WithParamInterface<int> {};

TEST_P(SinglePlay, StopsExactlyAtTheEndMark) {
    const int speed = GetParam();
    const Pcm pcm = test::MakeNoise(kRate, 1, kRate * 2, 5, 0.5);
    const HSTREAM h = Open(pcm, speed);
    LoopState loop;  // no repeats: the first sync stops
    const QWORD start = 10000 * 2;
    const QWORD end = 40000 * 2;
    BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, end, &LoopSync, &loop);
    BASS_ChannelSetPosition(h, start);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = RenderUntilStopped(h, kRate * 10);
    EXPECT_EQ(loop.fired.load(), 1);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(h), end);
    // As long as the region over the speed, within 2 ms...
    const double expected = 30000.0 * 100.0 / speed;
    ASSERT_LE(static_cast<double>(out.size()), expected + kRate * 0.002);
    ASSERT_GE(static_cast<double>(out.size() + kEndSilentFrames), expected - kRate * 0.002);
    if (speed == 100) {
        EXPECT_TRUE(std::equal(out.begin() + kFadeFrames, out.begin() + 30000 - kEndFadeFrames,
                               pcm.samples.begin() + 10000 + kFadeFrames));
    }
    // ...and what sounds last is the source just before the mark, fading out to it.
    const auto length = static_cast<std::size_t>(std::lround(expected));
    EXPECT_TRUE(EndsOnTheSource(out, length, pcm.samples, 40000));
    // Nothing more comes out.
    const std::vector<std::int16_t> after = Render(4410);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](std::int16_t s) { return s == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Speeds, SinglePlay, ::testing::Values(50, 75, 100, 150, 200, 400));

TEST_F(Playback, PlayAfterAStopDuringTheDrainResumesFromWhatWasHeard) {
    const HSTREAM h = Open(test::MakeNoise(kRate, 1, kRate * 2, 4, 0.5), 50);
    LoopState loop;
    BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, 20000 * 2, &LoopSync, &loop);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    std::vector<std::int16_t> block(2 * 16);
    while (loop.fired.load() == 0) {
        audio::CaptureRender(block.data(), 16);
    }
    // The callback's stop is still letting out the stretched audio before the mark.
    ASSERT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    const QWORD heard = BASS_ChannelGetPosition(h);
    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_LT(heard, 20000u * 2);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    // The rest up to the mark plays, and the mark is reached (and stops playback) once more.
    Render(kRate / 2);
    EXPECT_EQ(loop.fired.load(), 2);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(h), 20000u * 2);
}

TEST_F(Playback, EndSyncFiresAtTheEndOfTheSource) {
    const Pcm pcm = test::MakeRamp(kRate, 1, 20000);
    const HSTREAM h = Open(pcm, 100);
    LoopState loop;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &LoopSync, &loop), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = RenderUntilStopped(h, kRate);
    EXPECT_EQ(loop.fired.load(), 1);
    ASSERT_GE(out.size() + kEndSilentFrames, 20000u);
    EXPECT_TRUE(std::equal(out.begin() + kFadeFrames, out.begin() + 20000 - kEndFadeFrames,
                           pcm.samples.begin() + kFadeFrames));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 40000u);
}

TEST_F(Playback, LoopFlagWrapsToTheStartWhenNoSyncMovesIt) {
    const Pcm pcm = test::MakeRamp(kRate, 1, 1000);
    const HSTREAM h = Open(pcm, 100);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = Render(2500);
    for (std::size_t i = kFadeFrames; i < 2500; ++i) {
        ASSERT_EQ(out[i * 2], pcm.samples[i % 1000]) << i;
    }
}

TEST_F(Playback, StopAndPlayFadeAndResumeWithNothingLostOrRepeated) {
    const Pcm pcm = test::MakeNoise(kRate, 2, kRate, 9, 0.5);
    const HSTREAM a = Open(pcm, 100);
    ASSERT_TRUE(BASS_ChannelPlay(a, 0));
    const std::vector<std::int16_t> straight = Render(8000);
    BASS_StreamFree(a);

    const HSTREAM b = Open(pcm, 100);
    ASSERT_TRUE(BASS_ChannelPlay(b, 0));
    const std::vector<std::int16_t> before = Render(2500);
    ASSERT_TRUE(BASS_ChannelStop(b));
    EXPECT_EQ(BASS_ChannelIsActive(b), BASS_ACTIVE_STOPPED);
    // The position is where the fade-out ends: a few milliseconds on.
    const QWORD stoppedAt = BASS_ChannelGetPosition(b);
    const std::size_t fadeOut = stoppedAt / 4 - 2500;
    ASSERT_GT(stoppedAt / 4, 2500u);
    ASSERT_LE(fadeOut, kFadeFrames);
    const std::vector<std::int16_t> after = Render(700);
    EXPECT_EQ(BASS_ChannelGetPosition(b), stoppedAt);
    ASSERT_TRUE(BASS_ChannelPlay(b, 0));
    const std::vector<std::int16_t> resumed = Render(3500);
    BASS_StreamFree(b);

    EXPECT_TRUE(std::equal(before.begin(), before.end(), straight.begin()));
    // The stop fades the sound that followed down to silence, and nothing sounds after it.
    for (std::size_t i = 0; i < after.size(); ++i) {
        const int source = std::abs(straight[before.size() + i]);
        if (i < fadeOut * 2) {
            ASSERT_LE(std::abs(after[i]), source + 1) << i;
        } else {
            ASSERT_EQ(after[i], 0) << i;
        }
    }
    EXPECT_GT(std::abs(after[0]), std::abs(straight[before.size()]) * 9 / 10);
    // Play fades in from where the fade-out ended, and after the fade it is the source again.
    const std::size_t from = fadeOut * 2;
    for (std::size_t i = 0; i < 2 * kFadeFrames; ++i) {
        ASSERT_LE(std::abs(resumed[i]), std::abs(straight[before.size() + from + i]) + 1) << i;
    }
    EXPECT_TRUE(std::equal(
        resumed.begin() + 2 * kFadeFrames, resumed.end(),
        straight.begin() + static_cast<std::ptrdiff_t>(before.size() + from + 2 * kFadeFrames)));
}

TEST_F(Playback, VolumeScalesTheOutputButNotTheLevel) {
    Pcm pcm{kRate, 2, std::vector<std::int16_t>(kRate * 2, 20000)};
    const HSTREAM h = Open(pcm, 100);
    ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, 25, -101));
    DWORD volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 25u);
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);  // not playing
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = Render(2000);
    EXPECT_EQ(out[2 * kFadeFrames], 5000);
    EXPECT_EQ(BASS_ChannelGetLevel(h), (20000u << 16) | 20000u);
    EXPECT_FALSE(BASS_ChannelSetAttributes(h, -1, 101, -101));
    EXPECT_FALSE(BASS_ChannelSetAttributes(h, 12345, 50, -101));
    ASSERT_TRUE(BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 25u);  // a refused call changes nothing
    BASS_ChannelStop(h);
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);
}

TEST_F(Playback, LevelOfAPlayingChannelCoversTheLastTwentyMilliseconds) {
    Pcm pcm{kRate, 1, std::vector<std::int16_t>(kRate, 1000)};
    std::fill(pcm.samples.begin() + 5000, pcm.samples.begin() + 5010, -30000);
    const HSTREAM h = Open(pcm, 100);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    Render(5200);
    EXPECT_EQ(BASS_ChannelGetLevel(h), (30000u << 16) | 30000u);
    Render(882);  // the loud frames are now more than 20 ms back
    EXPECT_EQ(BASS_ChannelGetLevel(h), (1000u << 16) | 1000u);
}

// A sweep whose pitch doubles every second: a stretcher keeps the pitch, so the pitch of what
// comes out says which source frame it stands for, whatever the stretcher does to the waveform.
constexpr double kSweepStartHz = 300.0;
Pcm Sweep(std::size_t frames) {
    Pcm pcm{kRate, 1, std::vector<std::int16_t>(frames)};
    double phase = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        phase += 2.0 * std::numbers::pi * kSweepStartHz *
                 std::exp2(static_cast<double>(i) / kRate) / kRate;
        pcm.samples[i] = static_cast<std::int16_t>(std::lround(0.5 * kFullScale * std::sin(phase)));
    }
    return pcm;
}

// The source frame a stretched sweep stands for at the middle of its last `window` frames, from
// their pitch (the span between the first and last rising zero crossing, interpolated).
double SweepFrameAt(const std::vector<std::int16_t>& out, std::size_t window) {
    double first = -1.0;
    double last = -1.0;
    int cycles = -1;
    for (std::size_t i = out.size() - window; i + 1 < out.size(); ++i) {
        if (out[i] < 0 && out[i + 1] >= 0) {
            const double at = static_cast<double>(i) + static_cast<double>(-out[i]) /
                                                           static_cast<double>(out[i + 1] - out[i]);
            first = first < 0.0 ? at : first;
            last = at;
            ++cycles;
        }
    }
    const double hz = cycles / (last - first) * kRate;
    return std::log2(hz / kSweepStartHz) * kRate;
}

class PlayingPosition : public Playback, public ::testing::WithParamInterface<int> {};

TEST_P(PlayingPosition, IsTheSourceFrameOfTheAudioJustRendered) {
    const int speed = GetParam();
    const double s = speed / 100.0;
    const Pcm pcm = speed == 100 ? test::MakeNoise(kRate, 1, kRate * 4, 3, 0.5) : Sweep(kRate * 4);
    const HSTREAM h = Open(pcm, speed);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 10000 * 2));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 10000u * 2);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> stereo = Render(kRate / 2);
    std::vector<std::int16_t> left(stereo.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = stereo[i * 2];
    }
    const double pos = static_cast<double>(BASS_ChannelGetPosition(h)) / 2.0;
    const double nominal = 10000.0 + kRate / 2.0 * s;
    if (speed == 100) {
        EXPECT_EQ(pos, SourceFrameOfEnd(left, pcm.samples, static_cast<std::size_t>(nominal)));
        EXPECT_EQ(pos, nominal);
        return;
    }
    // 20 ms of output stand for 20 ms x speed of the source, centred 10 ms x speed before the
    // end. A stretcher may place each piece of the source up to 10 ms of output off.
    constexpr std::size_t kWindow = kRate / 50;
    const double heard = SweepFrameAt(left, kWindow) + kWindow / 2.0 * s;
    EXPECT_NEAR(pos, heard, kRate * 0.010 * s);
}

INSTANTIATE_TEST_SUITE_P(Speeds, PlayingPosition, ::testing::Values(50, 75, 100, 150, 200, 400));

TEST_F(Playback, OtherRatesAreConvertedToTheDeviceRate) {
    constexpr DWORD kSourceRate = 22050;
    const HSTREAM h = Open(MonoSine(kSourceRate, kSourceRate * 2, 441.0, 0.5), 100);
    LoopState loop;
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &LoopSync, &loop);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = RenderUntilStopped(h, kRate * 4);
    EXPECT_NEAR(static_cast<double>(out.size()), kRate * 2.0, kRate * 0.01);
    EXPECT_NEAR(MeasuredFrequency(out), 441.0, 441.0 * 0.005);
}

TEST_F(Playback, DecodeOnlyChannelsCannotPlayAndPlayNeedsAnOutput) {
    const HSTREAM d = OpenPcmStream(test::MakeRamp(kRate, 2, 100));
    EXPECT_FALSE(BASS_ChannelPlay(d, 0));
    EXPECT_FALSE(BASS_ChannelStop(d));
    BASS_StreamFree(d);
    const HSTREAM h = Open(test::MakeRamp(kRate, 2, 100), 100);
    BASS_Free();
    EXPECT_EQ(BASS_ChannelGetLength(h), BASS_ERROR_QWORD);  // released with the output
    EXPECT_FALSE(BASS_Free());
    ASSERT_TRUE(audio::InitCapture(kRate));
    EXPECT_FALSE(audio::InitCapture(kRate));  // one output at a time
}

TEST(EngineLibrary, VersionPassesTheStartUpTest) {
    const DWORD v = BASS_GetVersion();
    EXPECT_EQ(v >> 16, 0x0203u);
    EXPECT_GE(v & 0xFFFF, 3u);
    EXPECT_TRUE(BASS_SetConfig(0x10500, 1));
}

}  // namespace
}  // namespace tarvel::engine_test
