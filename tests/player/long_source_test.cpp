// Recordings of more than 4 GiB of PCM (an audiobook, a day of lectures): loading gives the whole
// length as the region, RESET brings it back, and the loop plays and ends beyond 4 GiB.
#include <gtest/gtest.h>
#include <QTest>

#include <functional>

#include "player/LoopRegion.h"
#include "tests/player/player_helpers.h"
#include "tests/support/LongRecording.h"

namespace tarvel::test {
namespace {

constexpr int kWaitMs = 3000;
constexpr QWORD kFourGiB = QWORD{1} << 32;

// 30436.06 s of 44.1 kHz stereo WAV.
constexpr QWORD kWavFrames = 1342230246;
// 8 h 10 min 40 s of MP3: 1,127,000 frames of 1152 samples, 29440 s.
constexpr QWORD kMp3Frames = 1127000;

struct LongCase {
    const char* name;
    std::function<bool(const std::filesystem::path&)> make;
    QWORD length;
};

class LongSource : public ::testing::Test {
  protected:
    void SetUp() override { EnsureEngine(); }
    // Opens the sparse WAV and gives the region [start, start + 200 ms) beyond 4 GiB.
    HSTREAM OpenWavWithRegionAt(QWORD start) {
        const auto wav = dir.file("long.wav");
        WriteSparseWav(wav, 44100, 2, kWavFrames);
        if (rig.loader.OpenSource(QString::fromStdString(wav.string()), false, false) == 0) {
            return 0;
        }
        rig.session.BytesPerPixel = kWavFrames * 4 / 712;
        SetLoopStart(rig.session, start);
        SetLoopEnd(rig.session, start + kBytesPerSecond / 5);
        return rig.session.PlayChannel;
    }
    TempDir dir{"long"};
    PlayerRig rig;
};

TEST_F(LongSource, LoadGivesTheWholeLengthAndResetRestoresIt) {
    const LongCase cases[] = {
        {"5 GiB WAV",
         [](const std::filesystem::path& p) {
             WriteSparseWav(p, 44100, 2, kWavFrames);
             return true;
         },
         kWavFrames * 4},
        {"8 h 10 min MP3",
         [](const std::filesystem::path& p) { return WriteLongMp3(p, kMp3Frames); },
         kMp3Frames * kMp3FrameSamples * 4},
    };
    for (const LongCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir.file(std::string(c.name) + ".src");
        ASSERT_TRUE(c.make(file)) << "could not make the test recording";
        rig.ChooseNext(file);
        rig.loader.FramSpeedBtn4Click();
        const HSTREAM ch = rig.session.PlayChannel;
        ASSERT_NE(ch, 0u);
        ASSERT_GT(c.length, kFourGiB);
        EXPECT_EQ(BASS_ChannelGetLength(ch), c.length);
        EXPECT_EQ(rig.session.LoopStart.load(), 0u);
        EXPECT_EQ(rig.session.LoopEnd.load(), c.length);
        EXPECT_EQ(rig.session.SampleRate, 44100u);
        EXPECT_EQ(rig.session.ChannelCount, 2u);

        rig.session.BytesPerPixel = c.length / 712;
        SetLoopEnd(rig.session, c.length - kBytesPerSecond);
        SetLoopStart(rig.session, kFourGiB + kBytesPerSecond);
        EXPECT_EQ(rig.session.LoopStart.load(), kFourGiB + kBytesPerSecond);
        rig.transport.FramSpeedBtn6Click();
        EXPECT_EQ(rig.session.LoopStart.load(), 0u);
        EXPECT_EQ(rig.session.LoopEnd.load(), c.length);
        EXPECT_EQ(BASS_ChannelGetPosition(ch), 0u);
        std::filesystem::remove(file);
    }
}

TEST_F(LongSource, RepeatPlayLoopsBeyondFourGiB) {
    const QWORD start = kFourGiB + 1000 * kBytesPerSecond;
    const HSTREAM ch = OpenWavWithRegionAt(start);
    ASSERT_NE(ch, 0u);
    const QWORD end = rig.session.LoopEnd.load();
    ASSERT_EQ(end, start + kBytesPerSecond / 5);
    rig.transport.FramSpeedBtn1Click();
    // 700 ms of a 200 ms region: it wraps, and never leaves the region.
    QWORD last = 0;
    int wraps = 0;
    for (int i = 0; i < 35; ++i) {
        QTest::qWait(20);
        const QWORD pos = BASS_ChannelGetPosition(ch);
        EXPECT_GE(pos, start);
        EXPECT_LE(pos, end);
        wraps += pos < last ? 1 : 0;
        last = pos;
    }
    EXPECT_GE(wraps, 1);
    EXPECT_TRUE(rig.session.Playing);
    rig.transport.FramSpeedBtn2Click();
}

TEST_F(LongSource, SinglePlayStopsAtAnEndMarkBeyondFourGiB) {
    const QWORD start = kFourGiB + 2000 * kBytesPerSecond;
    const HSTREAM ch = OpenWavWithRegionAt(start);
    ASSERT_NE(ch, 0u);
    ASSERT_EQ(rig.session.LoopStart.load(), start);
    rig.transport.FramSpeedBtn3Click();
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.session.Playing.load(); }, kWaitMs));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return BASS_ChannelIsActive(ch) == BASS_ACTIVE_STOPPED; }, kWaitMs));
    const QWORD end = rig.session.LoopEnd.load();
    EXPECT_LE(BASS_ChannelGetPosition(ch), end);
    EXPECT_GE(BASS_ChannelGetPosition(ch), end - kBytesPerSecond / 10);
    // PLAY starts from the start mark again.
    rig.transport.FramSpeedBtn1Click();
    EXPECT_GE(BASS_ChannelGetPosition(ch), start);
    EXPECT_LT(BASS_ChannelGetPosition(ch), start + kBytesPerSecond / 10);
    rig.transport.FramSpeedBtn2Click();
}

}  // namespace
}  // namespace tarvel::test
