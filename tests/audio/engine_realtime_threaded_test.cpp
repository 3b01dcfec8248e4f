// The device path in real time: SDL's disk driver writes what the device plays to a file, at the
// device's pace, while sources stall the way slow drives and busy disks do. The render thread
// must ride the stalls out, and the device callback must never wait for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/OutputStats.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/audio/slow_cd_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using std::chrono::milliseconds;

constexpr DWORD kRate = 44100;
constexpr DWORD kFrameBytes = 4;  // 16-bit stereo
constexpr DWORD kTempoFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;
// A callback that waited for a source would last as long as the stall (250 ms and more here).
// One that only copies can still be preempted for some milliseconds on a shared machine, under
// a sanitizer most of all, so the bound sits between the two; the benchmark reports the exact
// figure.
constexpr std::uint64_t kCallbackLimitNs = 100'000'000;

bool WaitFor(const std::function<bool()>& done, milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

void StopAtEnd(HSYNC, DWORD channel, DWORD, void*) {
    BASS_ChannelStop(channel);
}

class RealTime : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", raw_.c_str(), 1);
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    }
    void TearDown() override {
        BASS_Free();
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // What the device played (stereo samples); ends the output first.
    std::vector<std::int16_t> Recorded() {
        BASS_Free();
        const std::vector<std::uint8_t> bytes = test::ReadBytes(raw_);
        std::vector<std::int16_t> s(bytes.size() / 2);
        for (std::size_t i = 0; i < s.size(); ++i) {
            s[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
        return s;
    }

    // The playable tempo stream the player makes, at full volume and `speed` percent.
    static HSTREAM Wrap(HSTREAM source, int speed) {
        return PlayerTempo(source, kTempoFlags, speed);
    }

    test::TempDir dir_{"realtime"};
    std::string raw_ = dir_.file("out.raw").string();
};

// Fades at a start or a jump, and the crossfade at a loop seam, blend at most this many frames.
constexpr std::size_t kFadeFrames = kRate / 100;
constexpr std::uint64_t kNoFrame = ~std::uint64_t{0};

// The runs of consecutive frame numbers in `frames`, leaving out the frames that a fade blends
// (they decode to nothing, or now and then to a stray number).
struct FrameRun {
    std::uint64_t first;
    std::uint64_t last;
};
std::vector<FrameRun> Runs(const std::vector<std::uint64_t>& frames) {
    constexpr std::size_t kMinRun = 64;
    std::vector<FrameRun> runs;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i + 1;
        while (j < frames.size() && frames[j - 1] != kNoFrame && frames[j] == frames[j - 1] + 1) {
            ++j;
        }
        if (frames[i] != kNoFrame && j - i >= kMinRun) {
            runs.push_back({frames[i], frames[j - 1]});
        }
        i = j;
    }
    return runs;
}

// The frame numbers of the sounding frames of a recording of FrameNumbers or of the slow CD.
template <typename Decode>
std::vector<std::uint64_t> SoundingFrames(const std::vector<std::int16_t>& s, Decode decode) {
    std::vector<std::uint64_t> frames;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        if (s[i] != 0 || s[i + 1] != 0) {
            frames.push_back(decode(s[i], s[i + 1]));
        }
    }
    return frames;
}

TEST_F(RealTime, ASlowCdStallsItsChannelNotTheCallbackAndLosesNoFrame) {
    constexpr std::uint32_t kSectors = 100;  // 1.3 s: frame numbers fit the 16 bits of a sample
    auto drive = std::make_shared<SlowDrive>();
    drive->hold();  // spinning up
    const HSTREAM h = Wrap(OpenDecoderStream(MakeSlowCd(kSectors, drive)), 100);
    ASSERT_NE(h, 0u);
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &StopAtEnd, nullptr);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; },
                        milliseconds(2000)));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STALLED);
    drive->release();
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; },
                        milliseconds(3000)));
    std::this_thread::sleep_for(milliseconds(400));

    // A seek while the drive is held again: silence until it delivers, then on from the target.
    constexpr std::uint64_t kTarget = 40000;
    drive->hold();
    ASSERT_TRUE(BASS_ChannelSetPosition(h, kTarget * kFrameBytes));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; },
                        milliseconds(2000)));
    std::this_thread::sleep_for(milliseconds(300));
    drive->release();
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; },
                        milliseconds(10000)));
    const audio::CallbackFigures figures = audio::OutputCallbackFigures();
    EXPECT_GT(figures.calls, 0u);
    EXPECT_LT(figures.longestNs, kCallbackLimitNs);

    const auto frames = SoundingFrames(Recorded(), [](std::int16_t l, std::int16_t r) {
        const std::uint64_t f = static_cast<std::uint16_t>(l);
        return CdRight(f) == r ? f : ~std::uint64_t{0};
    });
    // Frames from the start (after its fade-in) as they came before the seek, then every frame
    // from the target (after the jump's fade-in) to the end.
    const std::vector<FrameRun> runs = Runs(frames);
    ASSERT_EQ(runs.size(), 2u) << "the seek was not heard, or a frame was lost";
    EXPECT_LE(runs[0].first, kFadeFrames);
    EXPECT_GE(runs[1].first, kTarget);
    EXPECT_LE(runs[1].first, kTarget + kFadeFrames);
    // The last frames fade out to the end and lose the numbers they carry.
    EXPECT_LE(runs[1].last, std::uint64_t{kSectors} * 588 - 1);
    EXPECT_GE(runs[1].last + kEndFadeFrames, std::uint64_t{kSectors} * 588 - 1);
}

// The largest |y[n+1] - 2cos(w) y[n] + y[n-1]| over the left channel of [from, to), as a
// fraction of full scale: zero for a pure sine, large at a break.
double WorstResidual(const std::vector<std::int16_t>& s, double w, std::size_t from,
                     std::size_t to) {
    const double c = 2.0 * std::cos(w);
    double worst = 0.0;
    for (std::size_t n = std::max<std::size_t>(from, 1); n + 1 < to; ++n) {
        worst = std::max(worst, std::abs(s[2 * (n + 1)] - c * s[2 * n] + s[2 * (n - 1)]) / 32768.0);
    }
    return worst;
}

class StallingSource : public RealTime, public ::testing::WithParamInterface<int> {};

TEST_P(StallingSource, IsRiddenOutWithoutABreakOrALongCallback) {
    constexpr double kFreq = 441.0;  // whole periods in the source, so its loop is seamless
    const HSTREAM h =
        Wrap(OpenDecoderStream(MakeStallingDecoder(MonoSine(kRate, kRate * 2, kFreq, 0.5),
                                                   milliseconds(250), milliseconds(800))),
             GetParam());
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    std::this_thread::sleep_for(milliseconds(2600));
    const audio::CallbackFigures figures = audio::OutputCallbackFigures();
    EXPECT_EQ(figures.underruns, 0u);
    EXPECT_LT(figures.longestNs, kCallbackLimitNs);
    ASSERT_TRUE(BASS_ChannelStop(h));
    std::this_thread::sleep_for(milliseconds(100));

    const std::vector<std::int16_t> s = Recorded();
    std::size_t first = 0;
    while (2 * first < s.size() && s[2 * first] == 0 && s[2 * first + 1] == 0) {
        ++first;
    }
    std::size_t last = s.size() / 2;
    while (last > first && s[2 * (last - 1)] == 0) {
        --last;
    }
    // At least two stalls' worth of sound, checked after the stretcher's start and before the
    // stop cut it off.
    ASSERT_GT(last - first, kRate * 3 / 2);
    const double w = 2.0 * std::numbers::pi * kFreq / kRate;
    EXPECT_LT(WorstResidual(s, w, first + kRate / 10, last - kRate / 20), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Speeds, StallingSource, ::testing::Values(100, 400));

// The sounding stretches of a recording: runs of frames between silences of at least `gap`.
std::vector<std::size_t> SoundingStretches(const std::vector<std::int16_t>& s, std::size_t gap) {
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    std::size_t lastSound = 0;
    bool in = false;
    for (std::size_t n = 0; 2 * n + 1 < s.size(); ++n) {
        if (s[2 * n] == 0 && s[2 * n + 1] == 0) {
            if (in && n - lastSound >= gap) {
                lengths.push_back(lastSound + 1 - start);
                in = false;
            }
            continue;
        }
        if (!in) {
            start = n;
            in = true;
        }
        lastSound = n;
    }
    if (in) {
        lengths.push_back(lastSound + 1 - start);
    }
    return lengths;
}

// A start or a jump whose source stalls right after its first frames, as the next block of a
// file on a busy disk does, is heard late rather than broken off: the device was running all
// along (a second play soon after a stop, or a jump while playing), so nothing held it back but
// the voice itself.
enum class Restart { PlayAfterStop, JumpWhilePlaying };
struct StallAfterRestartCase {
    Restart how;
    int speed;
};
class StallAfterRestart : public RealTime,
                          public ::testing::WithParamInterface<StallAfterRestartCase> {};

TEST_P(StallAfterRestart, IsHeardLateNotBroken) {
    constexpr double kFreq = 441.0;
    const auto [how, speed] = GetParam();
    auto stalls = std::make_shared<std::atomic<int>>(0);
    // Past the first block the render step takes, so that something is rendered before it.
    const std::uint64_t after = 6000 * static_cast<std::uint64_t>(speed) / 100;
    const HSTREAM h =
        Wrap(OpenDecoderStream(MakeDecoderStallingAfterSeeks(
                 MonoSine(kRate, kRate * 20, kFreq, 0.5), milliseconds(250), after, stalls)),
             speed);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    std::this_thread::sleep_for(milliseconds(600));
    if (how == Restart::PlayAfterStop) {
        ASSERT_TRUE(BASS_ChannelStop(h));
        std::this_thread::sleep_for(milliseconds(150));
        ASSERT_TRUE(audio::OutputDeviceRunning());
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    } else {
        ASSERT_TRUE(BASS_ChannelSetPosition(h, QWORD{kRate} * 8 * kFrameBytes));
    }
    std::this_thread::sleep_for(milliseconds(1200));
    const std::uint64_t underruns = audio::OutputCallbackFigures().underruns;
    ASSERT_TRUE(BASS_ChannelStop(h));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_GE(stalls->load(), 1) << "the source never stalled";
    EXPECT_EQ(underruns, 0u);
    // Two stretches, before and after: none of a few milliseconds cut off by the stall.
    const std::vector<std::size_t> stretches = SoundingStretches(Recorded(), kRate / 100);
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_GT(stretches[1], kRate / 2);
}

INSTANTIATE_TEST_SUITE_P(Restarts, StallAfterRestart,
                         ::testing::Values(StallAfterRestartCase{Restart::PlayAfterStop, 100},
                                           StallAfterRestartCase{Restart::PlayAfterStop, 400},
                                           StallAfterRestartCase{Restart::JumpWhilePlaying, 100},
                                           StallAfterRestartCase{Restart::JumpWhilePlaying, 400}));

// A speed change renders again what has not been heard; across normal speed the stretcher
// changes too. Both join what was rendered before without a click. A run in which the device
// found a ring short (a machine too busy to render in time) proves nothing about the joins and
// is played again, at most twice.
TEST_F(RealTime, SpeedChangesWhilePlayingJoinWithoutAStep) {
    constexpr double kFreq = 441.0;
    constexpr double kAmplitude = 0.5;
    constexpr int kTries = 3;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        if (attempt > 1) {
            ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
        }
        const HSTREAM h = Wrap(OpenPcmStream(MonoSine(kRate, kRate * 30, kFreq, kAmplitude)), 75);
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
        std::this_thread::sleep_for(milliseconds(300));
        for (const int speed : {150, 75, 400, 100, 200, 50}) {
            ASSERT_TRUE(BASS_FX_TempoSet(h, static_cast<float>(speed - 100), 0.0f, 0.0f));
            std::this_thread::sleep_for(milliseconds(250));
        }
        const std::uint64_t underruns = audio::OutputCallbackFigures().underruns;
        ASSERT_TRUE(BASS_ChannelStop(h));
        std::this_thread::sleep_for(milliseconds(100));
        const std::vector<std::int16_t> s = Recorded();
        if (underruns > 0 && attempt < kTries) {
            continue;
        }
        EXPECT_EQ(underruns, 0u) << "the device found a ring short in every try";
        std::size_t first = 0;
        while (2 * first < s.size() && s[2 * first] == 0) {
            ++first;
        }
        std::size_t last = s.size() / 2;
        while (last > first && s[2 * (last - 1)] == 0) {
            --last;
        }
        ASSERT_GT(last - first, kRate * 3 / 2);
        int worst = 0;
        std::size_t worstAt = 0;
        for (std::size_t n = first; n + 1 < last; ++n) {
            if (std::abs(s[2 * (n + 1)] - s[2 * n]) > worst) {
                worst = std::abs(s[2 * (n + 1)] - s[2 * n]);
                worstAt = n;
            }
        }
        // The sine's own largest step, and a little more for a stretched sine.
        const double own = kAmplitude * 32768.0 * 2.0 * std::numbers::pi * kFreq / kRate;
        EXPECT_LE(worst, static_cast<int>(own * 1.1)) << "at frame " << worstAt;
        return;
    }
}

int gSyncsFired = 0;
void BackToTheStart(HSYNC, DWORD channel, DWORD, void*) {
    if (++gSyncsFired == 1) {
        BASS_ChannelSetPosition(channel, 0);
    } else {
        BASS_ChannelStop(channel);
    }
}

TEST_F(RealTime, ASyncSetInsideTheAudioRenderedAheadActsAtItsFrame) {
    const HSTREAM h =
        BASS_FX_TempoCreate(OpenPcmStream(FrameNumbers(kRate, kRate * 10)), kTempoFlags);
    BASS_ChannelSetAttributes(h, -1, 100, -101);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) >= kRate / 5 * kFrameBytes; },
                        milliseconds(3000)));
    // A mark 0.3 s ahead of what is heard: audio past it has been rendered already.
    const QWORD heard = BASS_ChannelGetPosition(h) / kFrameBytes;
    const QWORD mark = heard + kRate * 3 / 10;
    gSyncsFired = 0;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, mark * kFrameBytes,
                                  &BackToTheStart, nullptr),
              0u);
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; },
                        milliseconds(5000)));
    const auto frames = SoundingFrames(Recorded(), [](std::int16_t l, std::int16_t r) {
        return FrameNumberOf(l, r).value_or(kNoFrame);
    });
    // 0 .. mark-1, then 0 .. mark-1 again, then nothing. The seam's crossfade lets what follows
    // the mark through faintly at its first frames; the start's fade-in may be silent at its
    // very first.
    EXPECT_LE(frames.size(), 2 * mark);
    EXPECT_GE(frames.size() + 16, 2 * mark);
    const std::vector<FrameRun> runs = Runs(frames);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_LE(runs[0].first, kFadeFrames);
    EXPECT_GE(runs[0].last, mark - 1);
    EXPECT_LE(runs[0].last, mark + kFadeFrames);
    EXPECT_LE(runs[1].first, kFadeFrames);
    EXPECT_LE(runs[1].last, mark - 1);
    EXPECT_GE(runs[1].last + kEndFadeFrames, mark - 1);  // faded out to the stop
}

TEST(DeviceIdle, TheDeviceRunsOnlyWhileSomethingPlays) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    // Nothing plays: after a short while the device is closed.
    EXPECT_TRUE(WaitFor([] { return !audio::OutputDeviceRunning(); }, milliseconds(4000)));
    const HSTREAM h =
        BASS_FX_TempoCreate(OpenPcmStream(MonoSine(kRate, kRate / 4, 441.0, 0.5)), kTempoFlags);
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &StopAtEnd, nullptr);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    EXPECT_TRUE(WaitFor([] { return audio::OutputDeviceRunning(); }, milliseconds(2000)));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; },
                        milliseconds(4000)));
    EXPECT_TRUE(WaitFor([] { return !audio::OutputDeviceRunning(); }, milliseconds(4000)));
    EXPECT_TRUE(BASS_Free());
}

}  // namespace
}  // namespace tarvel::engine_test
