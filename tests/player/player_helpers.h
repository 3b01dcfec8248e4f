// A bench for the playback handlers without the main window: the session, the controls the
// handlers drive, and the handlers wired as the window wires them, on a live engine.
#pragma once

#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <optional>

#include "app/OpenDialog.h"
#include "app/WidgetPorts.h"
#include "audio/bass.h"
#include "controls/FramBtn.h"
#include "controls/SpinEdit.h"
#include "player/PlayerSession.h"
#include "player/SourceLoader.h"
#include "player/SpeedControl.h"
#include "player/Transport.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {

// 16-bit stereo at 44.1 kHz: bytes per second of the test sources.
inline constexpr std::uint32_t kBytesPerSecond = 44100 * 2 * 2;

// Opens the output (SDL's dummy driver under ctest) once per test program.
void EnsureEngine();

struct PlayerRig {
    PlayerRig();
    ~PlayerRig();

    QWidget host;
    PlayerSession session;
    controls::TSpinEdit SpinEdit1{&host};
    controls::TFramSpeedBtn FramSpeedBtn1{&host};
    controls::TFramSpeedBtn FramSpeedBtn3{&host};
    controls::TFramSpeedBtn other{&host};  // somewhere else to put the focus
    QSlider TrackBar1{&host};
    QTimer Timer2;
    TOpenDialog od;
    PlayerPorts ports{FramSpeedBtn1, FramSpeedBtn3, SpinEdit1, TrackBar1, Timer2};
    SpeedControl speed{session, ports.SpinEdit1Port};
    Transport transport{session, ports.FramSpeedBtn1Port, ports.FramSpeedBtn3Port,
                        ports.SpinEdit1Port, speed};
    int scanCancels = 0;
    SourceLoader loader{session, od, ports.TrackBar1Port, ports.Timer2Port,
                        [this] { ++scanCancels; }};

    // The next LOAD dialog returns `file`, or cancels when it is empty.
    void ChooseNext(std::optional<std::filesystem::path> file);
};

// A stereo ramp of `seconds` written to `dir`/`name`.
std::filesystem::path WriteRampWav(const TempDir& dir, const std::string& name, double seconds);

}  // namespace tarvel::test
