// The scan on the real engine: a generated file and a CD track read from a BIN/CUE image.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

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

constexpr int kWidth = 712;

// What a load leaves: a tempo channel over a decode-only source.
HSTREAM LoadPlayChannel(HSTREAM source) {
    const HSTREAM play = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    if (play == 0) {
        BASS_StreamFree(source);
    }
    return play;
}

TEST(ScanEngine, OneMinuteOfSteadyToneFillsEveryColumn) {
    test::TempDir dir("scan");
    const auto wav = dir.file("minute.wav");
    test::WriteWav(wav, test::MakeSine(44100, 2, 44100 * 60, 440.0, 0.5));
    PlayerSession session;
    session.CurrentFileName = wav.string();
    session.PlayChannel =
        LoadPlayChannel(BASS_StreamCreateFile(0, wav.c_str(), 0, 0, BASS_STREAM_DECODE));
    ASSERT_NE(session.PlayChannel.load(), 0u);
    {
        ScanController scan(session);
        scan.Timer2Timer(kWidth);
        EXPECT_EQ(session.BytesPerPixel.load(), 14865u);
        ASSERT_TRUE(WaitForScanEnd(session));
    }
    EXPECT_EQ(session.ScanChannel.load(), 0u);
    EXPECT_EQ(session.ScanTotal.load(), 10584000u);
    for (const auto* wave : {&session.WaveLeft, &session.WaveRight}) {
        ASSERT_EQ(wave->size(), static_cast<std::size_t>(kWidth));
        EXPECT_EQ((*wave)[0], 0);
        EXPECT_LE(*std::max_element(wave->begin(), wave->end()), 30474);
        // A steady tone: every column close to the loudest reading.
        EXPECT_GT(*std::min_element(wave->begin() + 1, wave->end()), 29000);
    }
    BASS_StreamFree(session.PlayChannel.load());
}

TEST(ScanEngine, CdTrackIsCopiedIntoAWaveImageAndPlayedFromIt) {
    test::TempDir dir("scancd");
    const test::DiscImage disc =
        test::WriteDiscImage(dir.path(), {test::MakeSine(44100, 2, 44100 * 3, 440.0, 0.5)});
    audio::SetCdDeviceOverride(disc.cue.string());
    const auto stub = dir.file("Track01.cda");
    test::WriteCdaStub(stub, disc.tracks[0]);

    PlayerSession session;
    session.CurrentFileName = stub.string();
    session.IsCdTrack = true;
    session.Volume = 35;
    session.PlayChannel = LoadPlayChannel(
        BASS_CD_StreamCreateFile(stub.c_str(), BASS_STREAM_DECODE | BASS_STREAM_PRESCAN));
    ASSERT_NE(session.PlayChannel.load(), 0u);
    const HSTREAM cdPlay = session.PlayChannel.load();
    session.LoopEnd = 44100 * 4;
    {
        ScanController scan(session);
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitForScanEnd(session));
    }
    audio::SetCdDeviceOverride("");

    ASSERT_TRUE(session.CdWaveImage);
    const std::vector<std::uint8_t>& image = *session.CdWaveImage;
    const std::vector<std::uint8_t>& track = disc.tracks[0].bytes;
    ASSERT_EQ(image.size(), track.size() + kWaveHeaderSize);
    const std::array<std::uint8_t, 14> header = {0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10,
                                                 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin() + 22));
    EXPECT_TRUE(std::equal(track.begin(), track.end(), image.begin() + kWaveHeaderSize));

    const HSTREAM play = session.PlayChannel.load();
    EXPECT_NE(play, cdPlay);
    EXPECT_EQ(BASS_ChannelGetLength(cdPlay), BASS_ERROR_QWORD);  // released
    EXPECT_EQ(BASS_ChannelGetLength(play), QWORD{track.size()});
    DWORD volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(play, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 35u);
    EXPECT_NE(session.LoopSync.load(), 0u);
    EXPECT_GT(session.WaveLeft[1], 29000);
    BASS_StreamFree(play);
}

}  // namespace
}  // namespace tarvel::overview
