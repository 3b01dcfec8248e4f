// The transport state table on a live engine (SDL's dummy output plays in real time).
#include <gtest/gtest.h>
#include <QTest>

#include "player/LoopRegion.h"
#include "resources/Images.h"
#include "tests/player/player_helpers.h"

namespace tarvel::test {
namespace {

constexpr int kWaitMs = 3000;

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureEngine();
        ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(WriteRampWav(dir, "a.wav", 4.0)),
                                        false, false),
                  0u);
        ch = rig.session.PlayChannel;
    }

    void ExpectFace(const char* caption, int glyph) const {
        EXPECT_EQ(rig.FramSpeedBtn1.Caption().toStdString(), caption);
        EXPECT_EQ(rig.FramSpeedBtn1.Glyph(), resources::Glyph(glyph));
    }
    bool Active() const { return BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED; }
    QWORD Position() const { return BASS_ChannelGetPosition(ch); }
    // Waits until the play position has moved past `pos`.
    bool WaitPast(QWORD pos) {
        return QTest::qWaitFor([&] { return Position() > pos; }, kWaitMs);
    }

    TempDir dir{"transport"};
    PlayerRig rig;
    HSTREAM ch = 0;
};

TEST_F(TransportTest, PlayPauseResumeStopCycle) {
    rig.session.BytesPerPixel = 4000;
    SetLoopStart(rig.session, 40000);

    // idle -> playing, from the start mark
    rig.transport.FramSpeedBtn1Click();
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_TRUE(Active());
    ExpectFace("PAUSE", 2);
    ASSERT_TRUE(WaitPast(40000 + kBytesPerSecond / 10));

    // playing -> paused: the position holds
    rig.transport.FramSpeedBtn1Click();
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_TRUE(rig.session.Paused);
    EXPECT_FALSE(Active());
    ExpectFace("PLAY", 1);
    const QWORD held = Position();
    QTest::qWait(100);
    EXPECT_EQ(Position(), held);

    // paused -> playing: resumes where it stopped, not at the start mark
    rig.transport.FramSpeedBtn1Click();
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_TRUE(Active());
    ExpectFace("PAUSE", 2);
    EXPECT_GE(Position() + kBytesPerSecond / 20, held);
    ASSERT_TRUE(WaitPast(held));

    // STOP: idle, and the next PLAY starts at the start mark again
    rig.transport.FramSpeedBtn2Click();
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_FALSE(Active());
    const QWORD stoppedAt = Position();
    EXPECT_GT(stoppedAt, QWORD{40000});
    rig.transport.FramSpeedBtn1Click();
    EXPECT_LT(Position(), stoppedAt);
    EXPECT_GE(Position(), QWORD{40000});
    rig.transport.FramSpeedBtn2Click();
}

TEST_F(TransportTest, PauseThenMoveStartResumesFromNewStart) {
    rig.session.BytesPerPixel = 4000;
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(WaitPast(kBytesPerSecond / 10));
    rig.transport.FramSpeedBtn1Click();  // pause
    SetLoopStart(rig.session, 400000);
    EXPECT_EQ(Position(), QWORD{400000});
    rig.transport.FramSpeedBtn1Click();  // resume
    EXPECT_GE(Position(), QWORD{400000});
    rig.transport.FramSpeedBtn2Click();
}

TEST_F(TransportTest, ResetDuringPlayback) {
    rig.session.BytesPerPixel = 4000;
    SetLoopStart(rig.session, 40000);
    SetLoopEnd(rig.session, 400000);
    rig.transport.FramSpeedBtn3Click();  // single play
    rig.TrackBar1.setValue(30);
    rig.SpinEdit1.SetText("150");
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(WaitPast(40000));
    rig.transport.FramSpeedBtn6Click();
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_FALSE(Active());
    EXPECT_EQ(rig.session.LoopStart.load(), 0u);
    EXPECT_EQ(rig.session.LoopEnd.load(), 4 * kBytesPerSecond);
    EXPECT_EQ(Position(), QWORD{0});
    EXPECT_EQ(rig.SpinEdit1.Text(), "100");
    // Volume and repeat mode stay; the play button is left to the refresh tick.
    EXPECT_EQ(rig.TrackBar1.value(), 30);
    EXPECT_FALSE(rig.session.RepeatMode);
    EXPECT_EQ(rig.FramSpeedBtn3.Caption(), "SINGLE PLAY");
    ExpectFace("PAUSE", 2);
}

TEST_F(TransportTest, RepeatSwitchFaces) {
    EXPECT_TRUE(rig.session.RepeatMode);
    rig.transport.FramSpeedBtn3Click();
    EXPECT_FALSE(rig.session.RepeatMode);
    EXPECT_EQ(rig.FramSpeedBtn3.Caption(), "SINGLE PLAY");
    EXPECT_EQ(rig.FramSpeedBtn3.Glyph(), resources::Glyph(5));
    rig.transport.FramSpeedBtn3Click();
    EXPECT_TRUE(rig.session.RepeatMode);
    EXPECT_EQ(rig.FramSpeedBtn3.Caption(), "REPEAT PLAY");
    EXPECT_EQ(rig.FramSpeedBtn3.Glyph(), resources::Glyph(4));
}

TEST_F(TransportTest, SinglePlayStopsAtEndMark) {
    rig.session.BytesPerPixel = 4000;
    SetLoopStart(rig.session, 40000);
    SetLoopEnd(rig.session, 40000 + kBytesPerSecond / 5);  // 200 ms
    rig.transport.FramSpeedBtn3Click();
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.session.Playing; }, kWaitMs));
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Active(); }, kWaitMs));
    // Stopped at the end mark, not beyond it.
    EXPECT_LE(Position(), QWORD{rig.session.LoopEnd});
    EXPECT_GE(Position(), QWORD{rig.session.LoopEnd} - kBytesPerSecond / 10);
    // PLAY starts from the start mark again.
    rig.transport.FramSpeedBtn1Click();
    EXPECT_LT(Position(), QWORD{40000} + kBytesPerSecond / 10);
    rig.transport.FramSpeedBtn2Click();
}

TEST_F(TransportTest, SinglePlayStopsAtEndOfSource) {
    rig.session.BytesPerPixel = 4000;
    SetLoopStart(rig.session, 4 * kBytesPerSecond - kBytesPerSecond / 5);
    rig.transport.FramSpeedBtn3Click();
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.session.Playing; }, kWaitMs));
}

TEST_F(TransportTest, RepeatPlayLoopsInsideRegion) {
    rig.session.BytesPerPixel = 4000;
    const std::uint32_t start = 80000;
    const std::uint32_t end = start + kBytesPerSecond / 5;  // 200 ms
    SetLoopStart(rig.session, start);
    SetLoopEnd(rig.session, end);
    rig.transport.FramSpeedBtn1Click();
    // Sample the position for 700 ms: it must wrap at least once and never leave the region.
    QWORD last = 0;
    int wraps = 0;
    for (int i = 0; i < 35; ++i) {
        QTest::qWait(20);
        const QWORD pos = Position();
        EXPECT_GE(pos, QWORD{start});
        EXPECT_LE(pos, QWORD{end});
        if (pos < last) {
            ++wraps;
        }
        last = pos;
    }
    EXPECT_GE(wraps, 1);
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_TRUE(Active());
    rig.transport.FramSpeedBtn2Click();
}

TEST(TransportNoSource, PlayDoesNothingStopAndResetOnlyChangeFlags) {
    EnsureEngine();
    PlayerRig rig;
    rig.transport.FramSpeedBtn1Click();
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_EQ(rig.FramSpeedBtn1.Caption(), "");
    rig.session.Paused = true;
    rig.SpinEdit1.SetText("150");
    rig.transport.FramSpeedBtn6Click();
    EXPECT_FALSE(rig.session.Paused);
    EXPECT_EQ(rig.SpinEdit1.Text(), "100");
    // A length that cannot be read gives an empty region, not one ending at 4 GiB.
    EXPECT_EQ(rig.session.LoopEnd.load(), 0u);
}

}  // namespace
}  // namespace tarvel::test
