// A load, a resize and closing the window while a scan runs, on the real engine (also under
// TSan): the running scan stops at its next step and is joined, and never touches what follows.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio/bass.h"
#include "audio/cd/CdDevice.h"
#include "overview/CdWaveImage.h"
#include "overview/ScanController.h"
#include "tests/overview/ScanTestSupport.h"
#include "tests/support/DiscImage.h"
#include "tests/support/TestAudio.h"

namespace tarvel::overview {
namespace {

using testing::WaitForScanEnd;
using testing::WaitUntil;

constexpr int kWidth = 712;
constexpr std::uint32_t kRate = 44100;

HSTREAM LoadPlayChannel(HSTREAM source) {
    const HSTREAM play = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    if (play == 0) {
        BASS_StreamFree(source);
    }
    return play;
}

// What LOAD does to the session for a file (the scan is started by the caller).
void LoadFile(PlayerSession& session, const std::filesystem::path& path) {
    BASS_StreamFree(session.PlayChannel.exchange(0));
    session.CurrentFileName = path.string();
    session.IsCdTrack = false;
    session.PlayChannel =
        LoadPlayChannel(BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE));
    session.LoopEnd = static_cast<std::uint32_t>(BASS_ChannelGetLength(session.PlayChannel));
}

TEST(ScanEngineThreaded, LoadDuringAScan) {
    test::TempDir dir("scanload");
    const auto longWav = dir.file("long.wav");
    const auto shortWav = dir.file("short.wav");
    test::WriteWav(longWav, test::MakeNoise(kRate, 2, kRate * 120, 3, 0.8));
    test::WriteWav(shortWav, test::MakeSine(kRate, 2, kRate * 2, 440.0, 0.5));

    PlayerSession session;
    ScanController scan(session);
    LoadFile(session, longWav);
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));

    scan.CancelAndWait();  // LOAD's first step
    EXPECT_FALSE(session.Scanning.load());
    EXPECT_EQ(session.ScanChannel.load(), 0u);
    LoadFile(session, shortWav);
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(session));
    EXPECT_EQ(session.ScanTotal.load(), kRate * 2 * 4);
    EXPECT_EQ(session.BytesPerPixel.load(), 3528u);  // 2 s is shorter than 712 x 20 ms
    EXPECT_GT(session.WaveLeft[1], 29000);
    // 2 s of 20 ms columns reach index 100; everything after stays 0.
    EXPECT_TRUE(std::all_of(session.WaveLeft.begin() + 102, session.WaveLeft.end(),
                            [](std::uint16_t v) { return v == 0; }));
    BASS_StreamFree(session.PlayChannel.exchange(0));
}

TEST(ScanEngineThreaded, ResizeDuringACdScan) {
    test::TempDir dir("scanresize");
    const test::DiscImage disc =
        test::WriteDiscImage(dir.path(), {test::MakeNoise(kRate, 2, kRate * 20, 5, 0.5)});
    audio::SetCdDeviceOverride(disc.cue.string());
    const auto stub = dir.file("Track01.cda");
    test::WriteCdaStub(stub, disc.tracks[0]);

    PlayerSession session;
    session.CurrentFileName = stub.string();
    session.IsCdTrack = true;
    session.PlayChannel = LoadPlayChannel(
        BASS_CD_StreamCreateFile(stub.c_str(), BASS_STREAM_DECODE | BASS_STREAM_PRESCAN));
    ASSERT_NE(session.PlayChannel.load(), 0u);
    const HSTREAM cdPlay = session.PlayChannel.load();
    session.LoopEnd = kRate * 4;
    {
        ScanController scan(session);
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
        scan.Timer2Timer(kWidth);  // the resize: the first scan stops and is joined
        ASSERT_TRUE(WaitForScanEnd(session));
    }
    audio::SetCdDeviceOverride("");
    ASSERT_TRUE(session.CdWaveImage);
    const auto& track = disc.tracks[0].bytes;
    ASSERT_EQ(session.CdWaveImage->size(), track.size() + kWaveHeaderSize);
    EXPECT_TRUE(
        std::equal(track.begin(), track.end(), session.CdWaveImage->begin() + kWaveHeaderSize));
    EXPECT_NE(session.PlayChannel.load(), cdPlay);
    EXPECT_EQ(BASS_ChannelGetLength(session.PlayChannel), QWORD{track.size()});
    BASS_StreamFree(session.PlayChannel.exchange(0));
}

TEST(ScanEngineThreaded, ClosingDuringAScan) {
    test::TempDir dir("scanclose");
    const auto wav = dir.file("long.wav");
    test::WriteWav(wav, test::MakeNoise(kRate, 2, kRate * 120, 7, 0.8));
    PlayerSession session;
    LoadFile(session, wav);
    const HSTREAM play = session.PlayChannel.load();
    {
        ScanController scan(session);
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
        session.Closing = true;
        ASSERT_TRUE(WaitForScanEnd(session));
    }  // the window's destruction joins the scan before the engine goes down
    EXPECT_EQ(session.ScanChannel.load(), 0u);
    EXPECT_EQ(session.PlayChannel.load(), play);
    EXPECT_LT(session.ScanDone.load(), session.ScanTotal.load());
    BASS_StreamFree(session.PlayChannel.exchange(0));
}

}  // namespace
}  // namespace tarvel::overview
