// Loading sources through the LOAD button (with a scripted dialog) and the start-up auto-load.
#include <gtest/gtest.h>

#include "player/SourceLoader.h"
#include "tests/player/player_helpers.h"
#include "tests/support/DiscImage.h"

namespace tarvel::test {
namespace {

class Loading : public ::testing::Test {
  protected:
    void SetUp() override { EnsureEngine(); }
    TempDir dir{"loading"};
    PlayerRig rig;
};

TEST_F(Loading, GoodFileGivesWholeRegionNotPlayingAndArmsTheScan) {
    const auto wav = WriteRampWav(dir, "a.wav", 1.0);
    rig.session.LoopStart = 4;  // leftovers of an earlier source
    rig.session.Playing = true;
    rig.ChooseNext(wav);
    rig.TrackBar1.setValue(20);
    rig.loader.FramSpeedBtn4Click();
    const HSTREAM ch = rig.session.PlayChannel;
    ASSERT_NE(ch, 0u);
    EXPECT_EQ(rig.session.LoopStart.load(), 0u);
    EXPECT_EQ(rig.session.LoopEnd.load(), kBytesPerSecond);
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_EQ(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(rig.session.SampleRate, 44100u);
    EXPECT_EQ(rig.session.ChannelCount, 2u);
    EXPECT_FALSE(rig.session.IsCdTrack);
    EXPECT_NE(rig.session.LoopSync.load(), 0u);
    EXPECT_EQ(rig.session.CurrentFileName, wav.string());
    EXPECT_TRUE(rig.Timer2.isActive());
    EXPECT_EQ(rig.Timer2.interval(), 100);
    EXPECT_EQ(rig.scanCancels, 1);
    DWORD volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(ch, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 20u);
}

TEST_F(Loading, CancelKeepsEverything) {
    rig.ChooseNext(WriteRampWav(dir, "a.wav", 1.0));
    rig.loader.FramSpeedBtn4Click();
    const HSTREAM ch = rig.session.PlayChannel;
    ASSERT_NE(ch, 0u);
    rig.session.BytesPerPixel = 4000;
    rig.session.LoopStart = 8000;
    rig.session.LoopEnd = 16000;
    ASSERT_TRUE(BASS_ChannelPlay(ch, 0));
    rig.session.Playing = true;
    rig.Timer2.stop();
    const std::string name = rig.session.CurrentFileName;

    rig.ChooseNext(std::nullopt);
    rig.loader.FramSpeedBtn4Click();
    EXPECT_EQ(rig.session.PlayChannel.load(), ch);
    EXPECT_EQ(rig.session.LoopStart.load(), 8000u);
    EXPECT_EQ(rig.session.LoopEnd.load(), 16000u);
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_NE(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);  // still playing
    EXPECT_FALSE(rig.Timer2.isActive());
    EXPECT_EQ(rig.session.CurrentFileName, name);
    EXPECT_EQ(rig.scanCancels, 1);  // only the first load stopped a scan
    BASS_ChannelStop(ch);
}

TEST_F(Loading, UndecodableFileReleasesTheOldSource) {
    rig.ChooseNext(WriteRampWav(dir, "a.wav", 1.0));
    rig.loader.FramSpeedBtn4Click();
    const HSTREAM old = rig.session.PlayChannel;
    ASSERT_NE(old, 0u);
    rig.Timer2.stop();
    const auto junk = dir.file("junk.mp3");
    WriteBytes(junk, std::vector<std::uint8_t>(5000, 0x5A));
    rig.ChooseNext(junk);
    rig.loader.FramSpeedBtn4Click();
    EXPECT_EQ(rig.session.PlayChannel.load(), 0u);
    EXPECT_EQ(BASS_ChannelGetLength(old), BASS_ERROR_QWORD) << "the old channel was not freed";
    // PLAY / PAUSE then does nothing.
    rig.transport.FramSpeedBtn1Click();
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_FALSE(rig.Timer2.isActive());
}

TEST_F(Loading, FailedOpenWhilePlayingLeavesTheTransportIdle) {
    int opened = 0;
    rig.loader.SourceOpened = [&] { ++opened; };
    rig.ChooseNext(WriteRampWav(dir, "a.wav", 1.0));
    rig.loader.FramSpeedBtn4Click();
    EXPECT_EQ(opened, 1);
    rig.transport.FramSpeedBtn1Click();
    ASSERT_TRUE(rig.session.Playing);
    rig.session.LoopEnd = 8000;

    rig.ChooseNext(std::nullopt);  // a cancel changes nothing
    rig.loader.FramSpeedBtn4Click();
    EXPECT_TRUE(rig.session.Playing);
    EXPECT_EQ(opened, 1);

    const auto junk = dir.file("junk.wav");
    WriteBytes(junk, std::vector<std::uint8_t>(3000, 0x00));
    rig.ChooseNext(junk);
    rig.loader.FramSpeedBtn4Click();
    EXPECT_EQ(rig.session.PlayChannel.load(), 0u);
    EXPECT_FALSE(rig.session.Playing) << "nothing plays once the old channel is gone";
    EXPECT_EQ(rig.session.LoopEnd.load(), 8000u) << "the region stays";
    EXPECT_EQ(opened, 1);
}

TEST_F(Loading, UpperCaseCdaIsNotACdTrack) {
    // A valid WAV named .CDA: opened as an ordinary stream because the CD test is case-sensitive.
    const auto upper = WriteRampWav(dir, "lecture.CDA", 0.5);
    rig.ChooseNext(upper);
    rig.loader.FramSpeedBtn4Click();
    EXPECT_FALSE(rig.session.IsCdTrack);
    EXPECT_NE(rig.session.PlayChannel.load(), 0u);

    // A real CD stub named .CDA is neither a stream nor a module: nothing opens.
    const auto stub = dir.file("track01.CDA");
    WriteBytes(stub, EncodeCdaStub(1, 0, 100));
    rig.ChooseNext(stub);
    rig.loader.FramSpeedBtn4Click();
    EXPECT_FALSE(rig.session.IsCdTrack);
    EXPECT_EQ(rig.session.PlayChannel.load(), 0u);
}

TEST(CdTrackName, CaseSensitiveExtension) {
    EXPECT_TRUE(IsCdTrackName("/media/cd/Track01.cda"));
    EXPECT_FALSE(IsCdTrackName("/media/cd/lecture.CDA"));
    EXPECT_FALSE(IsCdTrackName("/media/cd/lecture.Cda"));
    EXPECT_FALSE(IsCdTrackName("/media/cd/cda"));
    EXPECT_FALSE(IsCdTrackName("/media/cd/x.cda.wav"));
}

TEST(CompanionWav, ExtensionChangedOrAdded) {
    EXPECT_EQ(CompanionWavPath("/opt/tp/player.exe"), "/opt/tp/player.wav");
    EXPECT_EQ(CompanionWavPath("/opt/tp/tarvel-player"), "/opt/tp/tarvel-player.wav");
    EXPECT_EQ(CompanionWavPath("/opt/tp.d/tarvel-player"), "/opt/tp.d/tarvel-player.wav");
    EXPECT_EQ(CompanionWavPath("/opt/a.b.c"), "/opt/a.b.wav");
}

TEST_F(Loading, AutoLoadOpensCompanionWithoutPlayingOrScanning) {
    WriteRampWav(dir, "player.wav", 1.0);
    rig.session.IsCdTrack = true;  // auto-load leaves it alone
    const HSTREAM ch = rig.loader.AutoLoad(QString::fromStdString(dir.file("player.exe").string()));
    ASSERT_NE(ch, 0u);
    EXPECT_EQ(rig.session.PlayChannel.load(), ch);
    EXPECT_FALSE(rig.session.Playing);
    EXPECT_EQ(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(rig.session.LoopEnd.load(), kBytesPerSecond);
    EXPECT_FALSE(rig.Timer2.isActive());
    EXPECT_TRUE(rig.session.IsCdTrack);
}

TEST_F(Loading, AutoLoadWithoutCompanionLeavesNothingLoaded) {
    EXPECT_EQ(rig.loader.AutoLoad(QString::fromStdString(dir.file("nothing.exe").string())), 0u);
    EXPECT_EQ(rig.session.PlayChannel.load(), 0u);
}

TEST(OpenDialogText, TitleAndFilter) {
    TOpenDialog od;
    EXPECT_EQ(od.Title, QString::fromUtf8("音声ファイルを開く"));
    EXPECT_EQ(od.Filter,
              QString::fromUtf8("再生可能ファイル (*.mp3 *.mp2 *.mp1 *.wav *.aif *.cda);;"
                                "全てのファイル (*)"));
}

}  // namespace
}  // namespace tarvel::test
