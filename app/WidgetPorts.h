// The window's widgets as the controls the playback logic drives (player/ControlPorts). Each port
// refers to its widget and must not outlive it. UI thread only.
#pragma once

#include "player/ControlPorts.h"

class QSlider;
class QTimer;

namespace tarvel::controls {
class TFramSpeedBtn;
class TSpinEdit;
}  // namespace tarvel::controls

namespace tarvel {

// Shows `face` on `button` (caption and the glyph of that index).
void ShowFace(controls::TFramSpeedBtn& button, ButtonFace face);
// Sets the volume slider's fixed properties and its start position.
void ConfigureTrackBar1(QSlider& TrackBar1);

class ButtonPort final : public FaceButton {
  public:
    explicit ButtonPort(controls::TFramSpeedBtn& button) : button_(button) {}
    void ShowFace(ButtonFace face) override;

  private:
    controls::TFramSpeedBtn& button_;
};

class SpinEditPort final : public SpeedBox {
  public:
    explicit SpinEditPort(controls::TSpinEdit& box) : box_(box) {}
    void SetMinValue(int v) override;
    void SetMaxValue(int v) override;
    void SetIncrement(int v) override;
    QString Text() const override;
    void SetText(const QString& text) override;
    int Value() const override;
    void SetValue(int value) override;
    void SetColor(const QColor& color) override;
    void SelectAll() override;

  private:
    controls::TSpinEdit& box_;
};

class SliderPort final : public VolumeSlider {
  public:
    explicit SliderPort(const QSlider& slider) : slider_(slider) {}
    int Position() const override;

  private:
    const QSlider& slider_;
};

class TimerPort final : public DebounceTimer {
  public:
    explicit TimerPort(QTimer& timer) : timer_(timer) {}
    void Start(int intervalMs) override;

  private:
    QTimer& timer_;
};

// The ports of the controls the handlers drive, over the window's widgets of those names.
struct PlayerPorts {
    PlayerPorts(controls::TFramSpeedBtn& FramSpeedBtn1, controls::TFramSpeedBtn& FramSpeedBtn3,
                controls::TSpinEdit& SpinEdit1, const QSlider& TrackBar1, QTimer& Timer2)
        : FramSpeedBtn1Port(FramSpeedBtn1),
          FramSpeedBtn3Port(FramSpeedBtn3),
          SpinEdit1Port(SpinEdit1),
          TrackBar1Port(TrackBar1),
          Timer2Port(Timer2) {}

    ButtonPort FramSpeedBtn1Port;
    ButtonPort FramSpeedBtn3Port;
    SpinEditPort SpinEdit1Port;
    SliderPort TrackBar1Port;
    TimerPort Timer2Port;
};

}  // namespace tarvel
