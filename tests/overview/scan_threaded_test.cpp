// One scan at a time: a load, a resize or closing the window while a scan runs stops it at its
// next step and joins it; a stopped scan leaves the session as it was. Runs under TSan too.
#include <gtest/gtest.h>

#include <memory>

#include "overview/ScanController.h"
#include "tests/overview/FakeAudio.h"
#include "tests/overview/ScanTestSupport.h"

namespace tarvel::overview {
namespace {

using testing::FakeAudio;
using testing::FakeKind;
using testing::FakeSource;
using testing::kReadingBytes;
using testing::Level;
using testing::WaitForScanEnd;
using testing::WaitUntil;

constexpr int kWidth = 712;
constexpr QWORD kLong = 3600ull * 176400;  // an hour: far longer than any of these tests run
constexpr int kSlowReadUs = 50;

FakeSource Loud(QWORD length, DWORD level) {
    FakeSource s;
    s.length = length;
    s.level = [level](std::uint64_t) { return Level(level, level); };
    return s;
}

void Load(FakeAudio& audio, PlayerSession& session, const std::string& name, const FakeSource& s,
          bool cd = false) {
    audio.AddFile(name, s);
    session.CurrentFileName = name;
    session.IsCdTrack = cd;
    session.PlayChannel = audio.MakePlayChannel(s);
    session.LoopEnd = static_cast<std::uint32_t>(s.length);
}

TEST(ScanThreaded, LoadDuringAScanStopsItAndTheNewSourceScansAlone) {
    FakeAudio audio;
    PlayerSession session;
    ScanController scan(session, audio);
    Load(audio, session, "first.wav", Loud(10 * kReadingBytes, 1000));
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(session));
    const std::vector<std::uint16_t> firstOverview = session.WaveLeft;

    audio.readDelayUs = kSlowReadUs;
    Load(audio, session, "long.wav", Loud(kLong, 2000));
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));

    // What LOAD does before it releases the old channel.
    scan.CancelAndWait();
    EXPECT_FALSE(session.Scanning.load());
    EXPECT_EQ(session.ScanChannel.load(), 0u);
    EXPECT_EQ(audio.OpenCount(), 4);             // two play channels, no scan channel
    EXPECT_EQ(session.WaveLeft, firstOverview);  // a stopped scan publishes nothing
    const int readsAfterStop = audio.levelReads.load();

    audio.readDelayUs = 0;
    Load(audio, session, "third.wav", Loud(20 * kReadingBytes, 3000));
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(session));
    EXPECT_EQ(audio.levelReads.load(), readsAfterStop + 20);
    EXPECT_EQ(session.WaveLeft[1], 30474);
    EXPECT_EQ(session.ScanTotal.load(), 20 * kReadingBytes);
}

TEST(ScanThreaded, ResizeDuringACdScanKeepsTheImageThatIsPlaying) {
    FakeAudio audio;
    PlayerSession session;
    ScanController scan(session, audio);
    FakeSource track = Loud(40 * kReadingBytes, 0);
    Load(audio, session, "t.cda", track, /*cd=*/true);
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(session));
    const DWORD firstRebuild = session.PlayChannel.load();
    std::weak_ptr<std::vector<std::uint8_t>> firstImage = session.CdWaveImage;
    ASSERT_FALSE(firstImage.expired());

    // A resize: a second scan of the same track, stopped half-way by a third.
    audio.readDelayUs = 2000;
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
    scan.Timer2Timer(kWidth);
    // The stopped scan replaced nothing: the first image still plays.
    EXPECT_FALSE(firstImage.expired());
    audio.readDelayUs = 0;
    ASSERT_TRUE(WaitForScanEnd(session));

    const DWORD play = session.PlayChannel.load();
    EXPECT_NE(play, firstRebuild);
    EXPECT_FALSE(audio.IsOpen(firstRebuild));
    EXPECT_TRUE(firstImage.expired());  // released once no channel reads it
    EXPECT_EQ(audio.MemoryOf(audio.SourceOf(play)), session.CdWaveImage->data());
    // One sync per completed rebuild; the stopped scan set none.
    EXPECT_EQ(audio.Syncs().size(), 2u);
    EXPECT_EQ(audio.OpenCount(), 2);
}

TEST(ScanThreaded, ClosingDuringAScanEndsItAtItsNextStep) {
    for (const bool cd : {false, true}) {
        SCOPED_TRACE(cd ? "CD track" : "file");
        FakeAudio audio;
        PlayerSession session;
        Load(audio, session, cd ? "t.cda" : "long.wav", Loud(kLong / 8, 1000), cd);
        const DWORD play = session.PlayChannel.load();
        audio.readDelayUs = kSlowReadUs;
        {
            ScanController scan(session, audio);
            scan.Timer2Timer(kWidth);
            ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
            session.Closing = true;
            ASSERT_TRUE(WaitForScanEnd(session));
        }  // the window's destruction joins the thread
        EXPECT_EQ(session.ScanChannel.load(), 0u);
        EXPECT_EQ(session.PlayChannel.load(), play);  // no rebuild while closing
        EXPECT_EQ(audio.OpenCount(), 2);
        EXPECT_LT(session.ScanDone.load(), session.ScanTotal.load());
    }
}

TEST(ScanThreaded, DestroyingTheControllerMidScanJoinsIt) {
    FakeAudio audio;
    PlayerSession session;
    Load(audio, session, "long.wav", Loud(kLong, 1000));
    audio.readDelayUs = kSlowReadUs;
    {
        ScanController scan(session, audio);
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
    }
    EXPECT_FALSE(session.Scanning.load());
    EXPECT_EQ(audio.OpenCount(), 2);
    const int reads = audio.levelReads.load();
    EXPECT_EQ(audio.levelReads.load(), reads);  // nothing reads after the join
}

TEST(ScanThreaded, BackToBackScansLeaveOneResult) {
    FakeAudio audio;
    PlayerSession session;
    ScanController scan(session, audio);
    Load(audio, session, "a.wav", Loud(2000 * kReadingBytes, 5000));
    // Slow enough that no scan can end on its own before the next one is started.
    audio.readDelayUs = 1000;
    // The UI thread reads the progress while the scans come and go.
    for (int i = 0; i < 5; ++i) {
        scan.Timer2Timer(kWidth);
        EXPECT_TRUE(session.Scanning.load());  // raised before the thread runs
        (void)session.ScanDone.load();
        (void)session.ScanTotal.load();
    }
    audio.readDelayUs = 0;
    ASSERT_TRUE(WaitForScanEnd(session));
    EXPECT_EQ(audio.scanOpens.load(), 5);
    EXPECT_EQ(audio.OpenCount(), 2);
    EXPECT_EQ(session.WaveLeft[1], 30474);
}

}  // namespace
}  // namespace tarvel::overview
