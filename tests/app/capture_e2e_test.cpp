// The whole window on the engine's capture output: load through the LOAD button, set the marks
// with mouse clicks on the overview, play, and check the rendered audio sample by sample.
//
// The source is a ramp whose left sample of frame i is i x 7 (mod 65536): every frame of the
// one-second source is distinct, so each rendered frame tells which source frame it came from.
#include <gtest/gtest.h>
#include <QTest>

#include <vector>

#include "app/Main.h"
#include "audio/CaptureOutput.h"
#include "tests/support/TestAudio.h"

namespace tarvel {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFrameBytes = 4;
constexpr std::uint32_t kRampStep = 7;
constexpr std::uint32_t kRampStepInverse = 28087;  // 7 x 28087 = 1 (mod 65536)
constexpr int kScanWaitMs = 10000;
// Playback fades in at a start, out at a pause and across a loop seam over a few milliseconds:
// the frames within this many of such a moment are blends, not single source frames.
constexpr std::size_t kFadeFrames = kRate / 100;
constexpr std::size_t kEndFadeFrames = kRate / 200 + 1;

// The source frame a rendered left sample came from.
std::int64_t SourceFrame(std::int16_t left) {
    return (static_cast<std::uint16_t>(left) * kRampStepInverse) & 0xFFFF;
}

std::vector<std::int16_t> Render(std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    audio::CaptureRender(out.data(), frames);
    return out;
}

class CaptureEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto wav = dir.file("ramp.wav");
        test::WriteWav(wav, test::MakeRamp(kRate, 2, kRate));
        form = std::make_unique<TForm1>([](TForm1&) { return audio::InitCapture(kRate) != 0; });
        ASSERT_TRUE(form->AudioReady());
        form->ProgramPath = QString::fromStdString(dir.file("none").string());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->TrackBar1.setValue(100);  // unity gain: rendered samples equal source samples

        form->od.Chooser = [wav](const TOpenDialog&) -> std::optional<QString> {
            return QString::fromStdString(wav.string());
        };
        QTest::mouseClick(&form->FramSpeedBtn4, Qt::LeftButton, {}, QPoint(60, 16));
        ASSERT_NE(form->Session.PlayChannel.load(), 0u);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return !form->Timer2.isActive() && !form->Session.Scanning &&
                       form->Session.BytesPerPixel != 0;
            },
            kScanWaitMs));
        bpp = static_cast<std::uint32_t>(form->Session.BytesPerPixel.load());
        ASSERT_EQ(bpp % kFrameBytes, 0u);
    }
    void TearDown() override { form.reset(); }

    void Click(QWidget& w, Qt::MouseButton button, int x = 60) {
        QTest::mouseClick(&w, button, {}, QPoint(x, 15));
    }
    std::int64_t FrameAt(int x) const { return static_cast<std::int64_t>(x) * bpp / kFrameBytes; }

    test::TempDir dir{"e2e"};
    std::unique_ptr<TForm1> form;
    std::uint32_t bpp = 0;
};

TEST_F(CaptureEndToEnd, RepeatPlayRepeatsTheMarkedStretchThenSinglePlayStopsAtTheEnd) {
    Click(form->PB, Qt::RightButton, 30);
    Click(form->PB, Qt::LeftButton, 10);
    const std::int64_t start = FrameAt(10);
    const std::int64_t end = FrameAt(30);
    ASSERT_EQ(form->Session.LoopStart.load(), 10 * bpp);
    ASSERT_EQ(form->Session.LoopEnd.load(), 30 * bpp);
    const std::int64_t stretch = end - start;

    Click(form->FramSpeedBtn1, Qt::LeftButton);
    ASSERT_TRUE(form->Session.Playing);
    const std::size_t frames = static_cast<std::size_t>(stretch * 3 + stretch / 2);
    const std::vector<std::int16_t> out = Render(frames);
    int mismatches = 0;
    for (std::size_t k = kFadeFrames; k < frames; ++k) {
        if (k % static_cast<std::size_t>(stretch) < kFadeFrames) {
            continue;  // the seam's crossfade
        }
        const std::int64_t expected = start + static_cast<std::int64_t>(k) % stretch;
        if (SourceFrame(out[2 * k]) != expected) {
            if (++mismatches <= 5) {
                ADD_FAILURE() << "rendered frame " << k << " came from source frame "
                              << SourceFrame(out[2 * k]) << ", expected " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(form->Session.Playing);

    // Single play: the current pass runs to the end mark and playback stops there.
    Click(form->FramSpeedBtn3, Qt::LeftButton);
    ASSERT_FALSE(form->Session.RepeatMode);
    const auto span = static_cast<std::size_t>(stretch);
    const std::vector<std::int16_t> tail = Render(span);
    const std::size_t remaining = span - frames % span;
    // Up to the end's fade-out, whose frames are the source's at a falling gain.
    for (std::size_t k = 0; k + kEndFadeFrames < remaining; ++k) {
        ASSERT_EQ(SourceFrame(tail[2 * k]), start + static_cast<std::int64_t>(frames % span + k))
            << "tail frame " << k;
    }
    for (std::size_t k = remaining; k < tail.size() / 2; ++k) {
        ASSERT_EQ(tail[2 * k], 0) << "sound after the end mark at tail frame " << k;
    }
    EXPECT_FALSE(form->Session.Playing);
    EXPECT_EQ(BASS_ChannelIsActive(form->Session.PlayChannel), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(form->Session.PlayChannel), QWORD{30 * bpp});
}

TEST_F(CaptureEndToEnd, PauseAndResumeContinueWhereTheFadeEnded) {
    Click(form->PB, Qt::LeftButton, 5);
    Click(form->FramSpeedBtn1, Qt::LeftButton);
    const std::vector<std::int16_t> before = Render(3000);
    Click(form->FramSpeedBtn1, Qt::LeftButton);  // pause
    ASSERT_TRUE(form->Session.Paused);
    EXPECT_EQ(form->FramSpeedBtn1.Caption(), "PLAY");
    const std::int64_t pausedAt =
        static_cast<std::int64_t>(BASS_ChannelGetPosition(form->Session.PlayChannel) / kFrameBytes);
    EXPECT_GT(pausedAt, FrameAt(5) + 3000);
    EXPECT_LE(pausedAt, FrameAt(5) + 3000 + static_cast<std::int64_t>(kFadeFrames));
    const std::vector<std::int16_t> silence = Render(1000);
    EXPECT_TRUE(std::all_of(silence.begin() + 2 * kFadeFrames, silence.end(),
                            [](auto s) { return s == 0; }));
    Click(form->FramSpeedBtn1, Qt::LeftButton);  // resume
    EXPECT_FALSE(form->Session.Paused);
    const std::vector<std::int16_t> after = Render(3000);
    const auto fade = static_cast<std::int64_t>(kFadeFrames);
    EXPECT_EQ(SourceFrame(before[2 * kFadeFrames]), FrameAt(5) + fade);
    EXPECT_EQ(SourceFrame(before[2 * 2999]), FrameAt(5) + 2999);
    EXPECT_EQ(SourceFrame(after[2 * kFadeFrames]), pausedAt + fade) << "resume did not continue";
    EXPECT_EQ(SourceFrame(after[2 * 2999]), pausedAt + 2999);
}

TEST_F(CaptureEndToEnd, VolumeZeroSilencesWithoutStopping) {
    Click(form->FramSpeedBtn1, Qt::LeftButton);
    Render(1000);
    form->TrackBar1.setValue(0);
    const QWORD at = BASS_ChannelGetPosition(form->Session.PlayChannel);
    const std::vector<std::int16_t> quiet = Render(2000);
    // The volume glides down within a few milliseconds.
    EXPECT_TRUE(
        std::all_of(quiet.begin() + 2 * kFadeFrames, quiet.end(), [](auto s) { return s == 0; }));
    EXPECT_TRUE(form->Session.Playing);
    EXPECT_EQ(BASS_ChannelIsActive(form->Session.PlayChannel), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelGetPosition(form->Session.PlayChannel), at + 2000 * kFrameBytes);
    form->TrackBar1.setValue(100);
    const std::vector<std::int16_t> loud = Render(kFadeFrames + 10);
    EXPECT_EQ(SourceFrame(loud[2 * kFadeFrames]), 3000 + static_cast<std::int64_t>(kFadeFrames));
}

TEST_F(CaptureEndToEnd, ResetStopsAndRestoresTheWholeRegionAndNormalSpeed) {
    Click(form->PB, Qt::RightButton, 30);
    Click(form->PB, Qt::LeftButton, 10);
    form->SpinEdit1.SetText("150");
    Click(form->FramSpeedBtn1, Qt::LeftButton);
    Render(2000);
    Click(form->FramSpeedBtn6, Qt::LeftButton);
    EXPECT_FALSE(form->Session.Playing);
    EXPECT_EQ(form->Session.LoopStart.load(), 0u);
    EXPECT_EQ(form->Session.LoopEnd.load(), kRate * kFrameBytes);
    EXPECT_EQ(form->SpinEdit1.Text(), "100");
    // Normal speed again: the next play renders the source frame by frame from 0.
    Click(form->FramSpeedBtn1, Qt::LeftButton);
    const std::vector<std::int16_t> out = Render(500);
    for (std::size_t k = kFadeFrames; k < 500; ++k) {
        ASSERT_EQ(SourceFrame(out[2 * k]), static_cast<std::int64_t>(k));
    }
}

}  // namespace
}  // namespace tarvel
