// What the listener hears where playback joins or breaks: loop seams that do not match, play,
// pause, resume, a jump of the position, a volume change and stop, through the capture output.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/SeamSplice.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using test::Pcm;

constexpr DWORD kRate = 44100;
constexpr double kFullScale = 32768.0;
constexpr double kFreq = 440.0;
constexpr double kAmplitude = 0.5;
// A loop of 0.5011 s over a 440 Hz sine: the end is half a cycle out of phase with the start.
constexpr std::size_t kLoopStart = kRate;
constexpr std::size_t kLoopFrames = 22099;
// The crossfade at a seam and the fades of the transport last at most this long.
constexpr std::size_t kSeamFrames = kRate / 100;
constexpr std::size_t kFadeFrames = kRate / 100;

struct Loop {
    QWORD start = 0;
    int repeats = 0;
    std::atomic<int> fired{0};
};

void LoopBack(HSYNC, DWORD channel, DWORD, void* user) {
    auto* loop = static_cast<Loop*>(user);
    if (++loop->fired <= loop->repeats) {
        BASS_ChannelSetPosition(channel, loop->start);
    } else {
        BASS_ChannelStop(channel);
    }
}

class Fades : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(audio::InitCapture(kRate)); }
    void TearDown() override { BASS_Free(); }

    static HSTREAM Open(Pcm pcm, int speed) {
        return PlayerTempo(OpenPcmStream(std::move(pcm)), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP,
                           speed);
    }

    // Left side of `frames` frames.
    static std::vector<std::int16_t> Left(std::size_t frames) {
        std::vector<std::int16_t> stereo(frames * 2);
        audio::CaptureRender(stereo.data(), frames);
        std::vector<std::int16_t> left(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = stereo[i * 2];
        }
        return left;
    }

    static std::vector<std::int16_t> LeftUntilStopped(HSTREAM h, std::size_t maxFrames) {
        constexpr std::size_t kBlock = 64;
        std::vector<std::int16_t> left;
        while (left.size() < maxFrames && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
            const std::vector<std::int16_t> block = Left(kBlock);
            left.insert(left.end(), block.begin(), block.end());
        }
        while (!left.empty() && left.back() == 0) {
            left.pop_back();
        }
        return left;
    }
};

// The largest |y[n+1] - 2cos(w) y[n] + y[n-1]| over [from, to) as a fraction of full scale: zero
// for a pure sine, large at a jump. A crossfade, being slow, stays far below a jump.
double WorstResidual(const std::vector<std::int16_t>& y, std::size_t from, std::size_t to) {
    const double c = 2.0 * std::cos(2.0 * std::numbers::pi * kFreq / kRate);
    double worst = 0.0;
    for (std::size_t n = std::max<std::size_t>(from, 1); n + 1 < std::min(to, y.size()); ++n) {
        worst = std::max(worst, std::abs(y[n + 1] - c * y[n] + y[n - 1]) / kFullScale);
    }
    return worst;
}

int LargestStep(const std::vector<std::int16_t>& y, std::size_t from, std::size_t to) {
    int worst = 0;
    for (std::size_t n = from; n + 1 < std::min(to, y.size()); ++n) {
        worst = std::max(worst, std::abs(y[n + 1] - y[n]));
    }
    return worst;
}

// The sine's own largest step at full volume.
int OwnStep() {
    return static_cast<int>(
        std::ceil(kAmplitude * kFullScale * 2.0 * std::numbers::pi * kFreq / kRate));
}

class OutOfPhaseSeams : public Fades, public ::testing::WithParamInterface<int> {};

TEST_P(OutOfPhaseSeams, JoinWithoutAClickAndKeepThePassLength) {
    const int speed = GetParam();
    constexpr int kPasses = 5;
    const Pcm pcm = MonoSine(kRate, kRate * 3, kFreq, kAmplitude);
    const HSTREAM h = Open(pcm, speed);
    Loop loop;
    loop.start = kLoopStart * 2;
    loop.repeats = kPasses - 1;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME,
                                  (kLoopStart + kLoopFrames) * 2, &LoopBack, &loop),
              0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, loop.start));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = LeftUntilStopped(h, kRate * 30);
    ASSERT_EQ(loop.fired.load(), kPasses);
    // A cut between the out-of-phase ends gives a residual near the amplitude (0.5).
    const std::size_t startUp = speed == 100 ? 0 : kRate / 10;
    EXPECT_LT(WorstResidual(out, startUp, out.size()), 0.01);
    if (speed == 100) {
        // The crossfade lies over frames that play anyway: every pass is exactly the region,
        // and away from the seams (and the start's fade-in) each sample is the source's.
        ASSERT_LE(out.size(), kPasses * kLoopFrames);
        ASSERT_GE(out.size() + kEndSilentFrames, kPasses * kLoopFrames);
        for (std::size_t i = kFadeFrames; i < kPasses * kLoopFrames - kEndFadeFrames; ++i) {
            const std::size_t into = i % kLoopFrames;
            if (into >= kSeamFrames) {
                ASSERT_EQ(out[i], pcm.samples[kLoopStart + into]) << i;
            }
        }
    } else {
        // The stretched passes add up to the region over the speed, within 2 ms.
        const double expected = kPasses * kLoopFrames * 100.0 / speed;
        EXPECT_NEAR(static_cast<double>(out.size()), expected, kRate * 0.002 + kEndSilentFrames);
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, OutOfPhaseSeams, ::testing::Values(50, 100, 150, 400));

class Transport : public Fades, public ::testing::WithParamInterface<int> {};

TEST_P(Transport, PauseResumeJumpVolumeAndStopMakeNoStepLargerThanTheSignals) {
    const int speed = GetParam();
    const HSTREAM h = Open(MonoSine(kRate, kRate * 6, kFreq, kAmplitude), speed);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, (kLoopStart + 123) * 2));
    std::vector<std::int16_t> out;
    std::vector<std::size_t> events;
    const auto run = [&](std::size_t frames) {
        const std::vector<std::int16_t> part = Left(frames);
        out.insert(out.end(), part.begin(), part.end());
    };
    const auto event = [&](auto&& action) {
        events.push_back(out.size());
        action();
    };
    run(1000);
    event([&] { ASSERT_TRUE(BASS_ChannelPlay(h, 0)); });
    run(kRate / 4);
    event([&] { ASSERT_TRUE(BASS_ChannelStop(h)); });  // the player's pause
    run(kRate / 20);
    event([&] { ASSERT_TRUE(BASS_ChannelPlay(h, 0)); });
    run(kRate / 4);
    event([&] { ASSERT_TRUE(BASS_ChannelSetPosition(h, 2 * 104729)); });
    run(kRate / 4);
    // A mark dragged while playing: jump after jump, each within the last one's crossfade.
    event([&] {
        for (QWORD to = 2 * 60013; to < 2 * 61000; to += 2 * 197) {
            ASSERT_TRUE(BASS_ChannelSetPosition(h, to));
            run(kFadeFrames / 3);
        }
    });
    run(kRate / 4);
    event([&] { ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, 10, -101)); });
    run(kRate / 4);
    event([&] { ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, 100, -101)); });
    run(kRate / 4);
    // Pause and resume in one breath, before the fade-out is over.
    event([&] {
        ASSERT_TRUE(BASS_ChannelStop(h));
        run(kFadeFrames / 4);
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    });
    run(kRate / 4);
    event([&] { ASSERT_TRUE(BASS_ChannelStop(h)); });
    run(kRate / 20);
    // A stretched sine is not quite pure: allow a little over its own largest step.
    const int limit = OwnStep() + (speed == 100 ? 1 : OwnStep() / 10);
    for (const std::size_t at : events) {
        EXPECT_LE(LargestStep(out, at - 100, at + kRate / 20), limit) << "event at " << at;
    }
    // Silence within the fade after each stop.
    for (const std::size_t at : {events[1], events.back()}) {  // pause, stop
        const auto quiet = out.begin() + static_cast<std::ptrdiff_t>(at + kFadeFrames);
        EXPECT_TRUE(std::all_of(quiet, quiet + kRate / 40, [](std::int16_t s) { return s == 0; }));
    }
    // Each fade reaches the full sound within its length (nothing is delayed by more).
    for (const std::size_t at : {events[0], events[2]}) {
        EXPECT_GT(LargestStep(out, at + kFadeFrames, at + kFadeFrames + kRate / 400),
                  OwnStep() * 8 / 10);
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, Transport, ::testing::Values(100, 150));

// Speed changes while playing, across normal speed and back (where the stretcher changes),
// neither click nor move the position by more than the audio played meanwhile.
TEST_F(Fades, SpeedChangesMakeNoStepAndKeepThePosition) {
    const HSTREAM h = Open(MonoSine(kRate, kRate * 20, kFreq, kAmplitude), 75);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, kLoopStart * 2));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    std::vector<std::int16_t> out = Left(kRate / 2);
    const int limit = OwnStep() + OwnStep() / 10;
    for (const int speed : {150, 75, 400, 50, 200, 300, 100, 125}) {
        const double before = static_cast<double>(BASS_ChannelGetPosition(h)) / 2.0;
        const std::size_t at = out.size();
        ASSERT_TRUE(BASS_FX_TempoSet(h, static_cast<float>(speed - 100), 0.0f, 0.0f));
        const double after = static_cast<double>(BASS_ChannelGetPosition(h)) / 2.0;
        EXPECT_NEAR(after, before, kRate * 0.005) << "to " << speed << " %";
        const std::vector<std::int16_t> part = Left(kRate / 2);
        out.insert(out.end(), part.begin(), part.end());
        EXPECT_LE(LargestStep(out, at - 100, at + kRate / 4), limit) << "to " << speed << " %";
        const double later = static_cast<double>(BASS_ChannelGetPosition(h)) / 2.0;
        // Forward from there (what the stretcher holds at the old speed may play first).
        EXPECT_GT(later, after + kRate / 4.0 * speed / 100.0) << "to " << speed << " %";
    }
}

class SinglePlayEnd : public Fades, public ::testing::WithParamInterface<int> {};

TEST_P(SinglePlayEnd, StopsAtAMarkOnACrestWithoutAStepAndOnTime) {
    const int speed = GetParam();
    const HSTREAM h = Open(MonoSine(kRate, kRate * 3, kFreq, kAmplitude), speed);
    // Frame 45127 lies on a crest of the sine: a cut there steps by the whole amplitude.
    constexpr std::size_t kMark = 45127;
    Loop loop;  // no repeats: the sync stops
    ASSERT_NE(
        BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, kMark * 2, &LoopBack, &loop), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, kLoopStart * 2));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const std::vector<std::int16_t> out = LeftUntilStopped(h, kRate * 10);
    ASSERT_EQ(loop.fired.load(), 1);
    const double expected = (kMark - kLoopStart) * 100.0 / speed;
    EXPECT_NEAR(static_cast<double>(out.size()), expected, kRate * 0.002 + kEndSilentFrames);
    // Over the last 2 ms and into the silence after: no step beyond the sine's own.
    const std::size_t from = out.size() - kRate / 500;
    std::vector<std::int16_t> padded(out);
    padded.resize(out.size() + 64, 0);
    const int limit = OwnStep() + (speed == 100 ? 1 : OwnStep() / 10);
    EXPECT_LE(LargestStep(padded, from, padded.size()), limit);
}

INSTANTIATE_TEST_SUITE_P(Speeds, SinglePlayEnd, ::testing::Values(50, 75, 100, 150, 200, 400));

TEST_F(Fades, StoppedChannelsLeaveTheMixOnceFadedOut) {
    // More channels than the mixer has voice slots, each played and stopped in turn.
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        const HSTREAM h = Open(MonoSine(kRate, kRate, kFreq, kAmplitude), 100);
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
        Left(500);
        ASSERT_TRUE(BASS_ChannelStop(h));
        Left(500);
    }
}

TEST(SeamSplice, CrossfadesTheContinuationIntoTheNewAudioWhateverTheBlocks) {
    constexpr std::size_t kFrames = 100;
    for (const std::size_t block : {std::size_t{1}, std::size_t{7}, kFrames}) {
        SCOPED_TRACE(block);
        audio::SeamSplice splice(kFrames, 1, audio::FadeCurve::Shape::EqualPower);
        std::fill_n(splice.continuation(), kFrames, std::int16_t{10000});
        splice.begin(kFrames);
        std::vector<std::int16_t> out(kFrames + 10, -10000);
        for (std::size_t at = 0; at < out.size(); at += block) {
            splice.apply(out.data() + at, std::min(block, out.size() - at));
        }
        EXPECT_FALSE(splice.active());
        EXPECT_GT(out.front(), 9900);
        EXPECT_LT(out[kFrames - 1], -9900);
        EXPECT_EQ(out[kFrames], -10000);  // after the crossfade: the new audio untouched
        EXPECT_LE(LargestStep(out, 0, out.size()), 20000 * 4 / static_cast<int>(kFrames));
    }
}

TEST(SeamSplice, ASeamWithinTheCrossfadeGoesOnFromWhatWasHeard) {
    constexpr std::size_t kFrames = 100;
    audio::SeamSplice splice(kFrames, 1, audio::FadeCurve::Shape::EqualPower);
    std::fill_n(splice.continuation(), kFrames, std::int16_t{10000});
    splice.begin(kFrames);
    std::vector<std::int16_t> out(kFrames * 2, 0);  // the new audio is silence
    splice.apply(out.data(), 30);
    // The next seam comes 30 frames in; what follows it is silence too, and only 10 frames of
    // it could be read.
    std::fill_n(splice.continuation(), kFrames, std::int16_t{0});
    splice.begin(10);
    splice.apply(out.data() + 30, out.size() - 30);
    // The first fade-out carries on under the second: no step at the second seam.
    EXPECT_LE(std::abs(out[30] - out[29]), 20000 * 4 / static_cast<int>(kFrames));
    EXPECT_GT(out[30], 5000);
    EXPECT_EQ(out.back(), 0);
}

TEST(SeamSplice, LeavesLoudSignalsInRange) {
    audio::SeamSplice splice(50, 2, audio::FadeCurve::Shape::EqualPower);
    std::fill_n(splice.continuation(), 100, std::int16_t{32767});
    splice.begin(50);
    std::vector<std::int16_t> out(100, 32767);
    splice.apply(out.data(), 50);  // in phase: the equal-power sum rises above full scale
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t s) { return s > 30000; }));
}

}  // namespace
}  // namespace tarvel::engine_test
