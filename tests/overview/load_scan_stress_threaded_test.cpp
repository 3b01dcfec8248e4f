// Hundreds of LOADs, resizes, mark drags, transport clicks and speed changes, in random order,
// while scans run and the engine's mixing thread plays the loop: the handlers wired as the window
// wires them, on the real engine, with CD tracks (a BIN/CUE image) among the sources so that
// scans rebuild PlayChannel from memory under the user's feet. Runs under TSan; the checks are
// that nothing hangs, every replaced channel is released and the session stays consistent.
#include <gtest/gtest.h>

#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "app/OpenDialog.h"
#include "app/WidgetPorts.h"
#include "audio/CaptureOutput.h"
#include "audio/Engine.h"
#include "audio/bass.h"
#include "audio/cd/CdDevice.h"
#include "controls/FramBtn.h"
#include "controls/SpinEdit.h"
#include "overview/ScanController.h"
#include "player/OverviewMouse.h"
#include "player/PlayerSession.h"
#include "player/SourceLoader.h"
#include "player/SpeedControl.h"
#include "player/Transport.h"
#include "player/VolumeControl.h"
#include "tests/overview/ScanTestSupport.h"
#include "tests/support/DiscImage.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/TestAudio.h"

namespace tarvel::overview {
namespace {

using testing::WaitForScanEnd;
using testing::WaitUntil;

constexpr DWORD kRate = 44100;
constexpr int kActions = 400;
constexpr int kOverviewWidth = 712;
constexpr int kMinWidth = 100;
constexpr int kMaxWidth = 1600;
constexpr int kDragSteps = 6;
constexpr std::size_t kMixBlockFrames = 256;
constexpr auto kMixPause = std::chrono::microseconds(200);
constexpr std::uint16_t kEnvelopeMax = 30474;

// The controls and handlers of the window that LOAD, the marks and the transport need.
struct PlayerUnderStress {
    PlayerUnderStress() {
        speed.Configure();
        ConfigureTrackBar1(TrackBar1);
        QObject::connect(&SpinEdit1, &controls::TSpinEdit::Change,
                         [this] { speed.SpinEdit1Change(); });
    }
    ~PlayerUnderStress() {
        session.Closing = true;
        scan.CancelAndWait();
        BASS_StreamFree(session.PlayChannel.exchange(0));
    }

    QWidget host;
    PlayerSession session;
    controls::TSpinEdit SpinEdit1{&host};
    controls::TFramSpeedBtn FramSpeedBtn1{&host};
    controls::TFramSpeedBtn FramSpeedBtn3{&host};
    QSlider TrackBar1{&host};
    QTimer Timer2;
    TOpenDialog od;
    PlayerPorts ports{FramSpeedBtn1, FramSpeedBtn3, SpinEdit1, TrackBar1, Timer2};
    SpeedControl speed{session, ports.SpinEdit1Port};
    Transport transport{session, ports.FramSpeedBtn1Port, ports.FramSpeedBtn3Port,
                        ports.SpinEdit1Port, speed};
    ScanController scan{session};
    SourceLoader loader{session, od, ports.TrackBar1Port, ports.Timer2Port,
                        [this] { scan.CancelAndWait(); }};
};

// The capture output's mixing thread, rendering until stopped; counts its blocks.
class MixingThread {
  public:
    MixingThread()
        : thread_([this](std::stop_token stop) {
              std::vector<std::int16_t> block(kMixBlockFrames * 2);
              while (!stop.stop_requested()) {
                  audio::CaptureRender(block.data(), kMixBlockFrames);
                  ++blocks_;
                  std::this_thread::sleep_for(kMixPause);
              }
          }) {}
    int blocks() const { return blocks_.load(); }

  private:
    std::atomic<int> blocks_{0};
    std::jthread thread_;
};

struct Sources {
    std::vector<std::filesystem::path> files;
    std::filesystem::path junk;  // a load that fails
};

Sources WriteSources(const test::TempDir& dir) {
    Sources s;
    const auto sine = dir.file("sine.wav");
    test::WriteWav(sine, test::MakeSine(kRate, 2, kRate * 2, 441.0));
    s.files.push_back(sine);
    const auto noise = dir.file("noise.wav");
    test::WriteWav(noise, test::MakeNoise(kRate, 1, kRate * 8));
    s.files.push_back(noise);
    const auto mp3 = dir.file("tone.mp3");
    if (test::EncodeMp3(sine, mp3)) {
        s.files.push_back(mp3);
    }
    const auto mod = dir.file("song.mod");
    test::WriteBytes(mod, test::EncodeMod());
    s.files.push_back(mod);
    const test::DiscImage disc = test::WriteDiscImage(
        dir.path(), {test::MakeSine(kRate, 2, kRate * 3, 440.0), test::MakeNoise(kRate, 2, kRate)});
    audio::SetCdDeviceOverride(disc.cue.string());
    for (const auto& track : disc.tracks) {
        const auto stub = dir.file("Track0" + std::to_string(track.number) + ".cda");
        test::WriteCdaStub(stub, track);
        s.files.push_back(stub);
    }
    s.junk = dir.file("junk.mp3");
    test::WriteBytes(s.junk, test::RandomBytes(20000, 7));
    return s;
}

// With no scan running, PlayChannel carries exactly one sync, and LoopSync names it.
void ExpectOneLoopSync(const PlayerSession& session) {
    const HSTREAM play = session.PlayChannel.load();
    if (play == 0) {
        return;
    }
    const std::vector<HSYNC> syncs = audio::SyncsOf(play);
    ASSERT_EQ(syncs.size(), 1u) << "PlayChannel " << play << " carries " << syncs.size()
                                << " syncs";
    EXPECT_EQ(syncs[0], session.LoopSync.load());
}

void ExpectConsistent(const PlayerSession& session) {
    const HSTREAM play = session.PlayChannel.load();
    if (play == 0) {
        return;
    }
    const QWORD length = BASS_ChannelGetLength(play);
    ASSERT_NE(length, BASS_ERROR_QWORD) << "PlayChannel " << play << " is not a live channel";
    EXPECT_LE(session.LoopStart.load(), session.LoopEnd.load());
    EXPECT_LE(QWORD{session.LoopEnd.load()}, length);
}

TEST(LoadScanStress, HundredsOfLoadsResizesAndDragsDuringScansAndPlayback) {
    ASSERT_TRUE(audio::InitCapture(kRate));
    test::TempDir dir("stress");
    const Sources sources = WriteSources(dir);
    std::set<HSTREAM> channels;  // every PlayChannel seen
    int loads = 0;
    int cdLoads = 0;
    int drags = 0;
    int resizes = 0;
    {
        PlayerUnderStress p;
        MixingThread mixing;
        std::mt19937 rng(20261208);
        const auto pick = [&rng](int n) {
            return static_cast<int>(rng() % static_cast<unsigned>(n));
        };
        int width = kOverviewWidth;

        for (int i = 0; i < kActions; ++i) {
            channels.insert(p.session.PlayChannel.load());
            switch (pick(10)) {
                case 0:
                case 1: {  // LOAD, then the debounce timer fires
                    const bool bad = pick(12) == 0;
                    const auto& file = bad ? sources.junk
                                           : sources.files[static_cast<std::size_t>(
                                                 pick(static_cast<int>(sources.files.size())))];
                    const QString name = QString::fromStdString(file.string());
                    const bool cd = IsCdTrackName(name);
                    const HSTREAM got = p.loader.OpenSource(name, cd, true);
                    EXPECT_EQ(got == 0, bad) << file;
                    ++loads;
                    cdLoads += cd ? 1 : 0;
                    p.Timer2.stop();
                    p.scan.Timer2Timer(width);
                    break;
                }
                case 2:  // resize: a new scan replaces the running one
                    width = kMinWidth + pick(kMaxWidth - kMinWidth);
                    p.scan.Timer2Timer(width);
                    ++resizes;
                    break;
                case 3:
                case 4: {  // drag a mark across the overview
                    if (p.session.BytesPerPixel.load() == 0) {
                        break;
                    }
                    const Qt::MouseButton button = pick(2) ? Qt::LeftButton : Qt::RightButton;
                    PBMouseDown(p.session, button, pick(width));
                    for (int s = 0; s < kDragSteps; ++s) {
                        PBMouseMove(p.session, pick(width + 40) - 20);  // may leave the box
                    }
                    PBMouseUp(p.session);
                    ++drags;
                    break;
                }
                case 5:
                case 6:
                    p.transport.FramSpeedBtn1Click();  // PLAY / PAUSE
                    break;
                case 7:
                    (pick(2) ? p.transport.FramSpeedBtn2Click()    // STOP
                             : p.transport.FramSpeedBtn3Click());  // REPEAT / SINGLE
                    break;
                case 8:
                    p.SpinEdit1.SetValue(kSpeedMin + pick(kSpeedMax - kSpeedMin + 1));
                    break;
                default:  // let a scan finish now and then, so CD tracks get rebuilt
                    ASSERT_TRUE(WaitForScanEnd(p.session)) << "scan hung at action " << i;
                    ExpectOneLoopSync(p.session);
                    break;
            }
            ExpectConsistent(p.session);
            if (::testing::Test::HasFatalFailure()) {
                return;
            }
        }

        // The mixing thread is still running, and a last scan ends with a full overview.
        const int blocks = mixing.blocks();
        EXPECT_TRUE(WaitUntil([&] { return mixing.blocks() > blocks + 10; }));
        p.loader.OpenSource(QString::fromStdString(sources.files[0].string()), false, true);
        p.scan.Timer2Timer(kOverviewWidth);
        ASSERT_TRUE(WaitForScanEnd(p.session));
        ExpectOneLoopSync(p.session);
        channels.insert(p.session.PlayChannel.load());
        ASSERT_EQ(p.session.WaveLeft.size(), static_cast<std::size_t>(kOverviewWidth));
        EXPECT_GT(*std::max_element(p.session.WaveLeft.begin(), p.session.WaveLeft.end()), 0);
        EXPECT_LE(*std::max_element(p.session.WaveLeft.begin(), p.session.WaveLeft.end()),
                  kEnvelopeMax);
        EXPECT_EQ(p.session.ScanChannel.load(), 0u);

        // Every channel a load or a CD rebuild replaced has been released.
        const HSTREAM current = p.session.PlayChannel.load();
        for (const HSTREAM h : channels) {
            if (h != 0 && h != current) {
                EXPECT_EQ(BASS_ChannelGetLength(h), BASS_ERROR_QWORD) << "channel " << h;
            }
        }
        EXPECT_NE(BASS_ChannelGetLength(current), BASS_ERROR_QWORD);
    }
    audio::SetCdDeviceOverride("");
    BASS_Free();
    // The run really did what it claims.
    EXPECT_GT(loads, kActions / 10);
    EXPECT_GT(cdLoads, 0);
    EXPECT_GT(drags, kActions / 10);
    EXPECT_GT(resizes, kActions / 20);
}

}  // namespace
}  // namespace tarvel::overview
