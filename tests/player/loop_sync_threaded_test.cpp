// The sync callback on the engine's mixing thread against the user-interface thread moving the
// marks, switching the mode and stopping: the region stays ordered, playback stays inside the
// source, single play ends playback, and a closing session makes the callback do nothing.
#include <gtest/gtest.h>
#include <QTest>

#include <random>

#include "player/LoopRegion.h"
#include "player/LoopSync.h"
#include "tests/player/player_helpers.h"

namespace tarvel::test {
namespace {

constexpr int kWaitMs = 3000;

TEST(LoopSyncThreaded, MarksMovedWhilePlayingKeepTheRegionOrdered) {
    EnsureEngine();
    TempDir dir{"loopsync"};
    PlayerRig rig;
    ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(WriteRampWav(dir, "a.wav", 2.0)), false,
                                    false),
              0u);
    const HSTREAM ch = rig.session.PlayChannel;
    const std::uint32_t length = 2 * kBytesPerSecond;
    rig.session.BytesPerPixel = 1764;  // 10 ms
    SetLoopEnd(rig.session, 8820);     // a 50 ms loop: many seams during the test
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(rig.session.Playing);

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pixel(-5, 210);
    for (int i = 0; i < 300; ++i) {
        const QWORD pos = QWORD{static_cast<std::uint32_t>(pixel(rng)) * 1764u};
        if (i % 2 == 0) {
            SetLoopStart(rig.session, pos);
        } else {
            SetLoopEnd(rig.session, pos);
        }
        EXPECT_LE(rig.session.LoopStart.load(), rig.session.LoopEnd.load());
        EXPECT_LE(rig.session.LoopEnd.load(), length);
        const QWORD at = BASS_ChannelGetPosition(ch);
        EXPECT_LE(at, QWORD{length});
        QTest::qWait(1);
    }
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_NE(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);

    // Single play: the next end ends playback from the mixing thread.
    SetLoopStart(rig.session, 0);
    SetLoopEnd(rig.session, 4410);
    rig.transport.FramSpeedBtn3Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.session.Playing.load(); }, kWaitMs));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return BASS_ChannelIsActive(ch) == BASS_ACTIVE_STOPPED; }, kWaitMs));
}

TEST(LoopSyncThreaded, ClosingSessionMakesTheCallbackInert) {
    EnsureEngine();
    TempDir dir{"closing"};
    PlayerRig rig;
    ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(WriteRampWav(dir, "a.wav", 1.0)), false,
                                    false),
              0u);
    const HSTREAM ch = rig.session.PlayChannel;
    rig.session.BytesPerPixel = 1764;
    SetLoopEnd(rig.session, 8820);
    rig.transport.FramSpeedBtn3Click();  // single play: an active callback would stop playback
    rig.session.Closing = true;
    rig.session.Playing = true;
    ASSERT_TRUE(BASS_ChannelPlay(ch, 0));
    // Well past the end mark: the callback neither stopped the channel nor cleared Playing.
    QTest::qWait(300);
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_GT(BASS_ChannelGetPosition(ch), QWORD{8820});
    BASS_ChannelStop(ch);
}

TEST(LoopSyncProc, NullUserIsIgnored) {
    LoopSyncProc(0, 0, 0, nullptr);  // must not crash
    PlayerSession s;
    s.RepeatMode = false;
    s.Playing = true;
    LoopSyncProc(0, 0, 0, &s);  // stops "channel 0": fails without effect
    EXPECT_FALSE(s.Playing);
}

}  // namespace
}  // namespace tarvel::test
