#include "tests/player/player_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "player/VolumeControl.h"

namespace tarvel::test {

void EnsureEngine() {
    static const bool ready = [] {
        if (std::getenv("SDL_AUDIODRIVER") == nullptr) {
            setenv("SDL_AUDIODRIVER", "dummy", 0);
        }
        const bool ok = BASS_Init(-1, 44100, 0, nullptr, nullptr) != 0;
        std::atexit([] { BASS_Free(); });
        return ok;
    }();
    ASSERT_TRUE(ready) << "the audio output could not be opened";
}

PlayerRig::PlayerRig() {
    speed.Configure();
    ConfigureTrackBar1(TrackBar1);
    QObject::connect(&SpinEdit1, &controls::TSpinEdit::Change, [this] { speed.SpinEdit1Change(); });
    QObject::connect(&SpinEdit1, &controls::TSpinEdit::KeyPress,
                     [this](QChar key) { speed.SpinEdit1KeyPress(key); });
    QObject::connect(&SpinEdit1, &controls::TSpinEdit::Enter, [this] { speed.SpinEdit1Enter(); });
    QObject::connect(&SpinEdit1, &controls::TSpinEdit::Click, [this] { speed.SpinEdit1Click(); });
    QObject::connect(&TrackBar1, &QSlider::valueChanged,
                     [this] { TrackBar1Change(session, TrackBar1.value()); });
    SpinEdit1.setGeometry(0, 0, 49, 22);
    other.setGeometry(60, 0, 40, 22);
    other.setFocusPolicy(Qt::StrongFocus);
    TrackBar1.setGeometry(0, 30, 69, 12);
    host.resize(120, 50);
}

PlayerRig::~PlayerRig() {
    session.Closing.store(true);
    BASS_StreamFree(session.PlayChannel.exchange(0));
}

void PlayerRig::ChooseNext(std::optional<std::filesystem::path> file) {
    od.Chooser = [file](const TOpenDialog&) -> std::optional<QString> {
        if (!file) {
            return std::nullopt;
        }
        return QString::fromStdString(file->string());
    };
}

std::filesystem::path WriteRampWav(const TempDir& dir, const std::string& name, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    const auto path = dir.file(name);
    WriteWav(path, MakeRamp(44100, 2, frames));
    return path;
}

}  // namespace tarvel::test
