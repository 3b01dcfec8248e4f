// TForm1: the player's one window. It owns every control at its fixed place, the player session,
// and the scan, refresh and meter machinery, and wires the controls' events to their handlers.
#pragma once

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "app/FrameCentring.h"
#include "app/ModuleButtons.h"
#include "app/OpenDialog.h"
#include "app/SingleProc.h"
#include "app/TrackBarStyle.h"
#include "app/WidgetPorts.h"
#include "controls/FramBtn.h"
#include "controls/Label.h"
#include "controls/PaintBox.h"
#include "controls/Panel.h"
#include "controls/Shape.h"
#include "controls/SpinEdit.h"
#include "player/PlayerSession.h"
#include "player/SourceLoader.h"
#include "player/SpeedControl.h"
#include "player/Transport.h"

namespace tarvel::overview {
class ScanController;
class RefreshTick;
class MeterTick;
}  // namespace tarvel::overview

namespace tarvel {

inline constexpr const char* kAppTitle = "Tarvel Player";
inline constexpr int kClientWidth = 890;
inline constexpr int kClientHeight = 73;

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    // Opens the audio output; true on success. The program opens the default device; tests open
    // the engine's capture output instead.
    using AudioInit = std::function<bool(TForm1&)>;

    explicit TForm1(AudioInit initAudio = {});
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The program file whose ".wav" companion FormShow opens. Defaults to the running binary.
    QString ProgramPath;

    PlayerSession Session;

  private:
    // The volume slider's style; declared before the slider so that it outlives it.
    TrackBarStyle TrackBar1Style;

  public:
    // Controls, in the order the window creates them.
    controls::TPanel Panel3;
    QLabel Image1;
    controls::TLabel Label1;
    controls::TSpinEdit SpinEdit1;
    controls::TLabel Label2;
    controls::TLabel Label6;
    controls::TPanel Panel7;
    QSlider TrackBar1;
    QCheckBox CheckBox5;
    controls::TPanel Panel6;
    controls::TShape Shape2;
    controls::TShape Shape4;
    controls::TFramSpeedBtn FramSpeedBtn6;
    controls::TPanel Panel1;
    controls::TPanel Panel2;
    controls::TLabel Label3;
    controls::TLabel Label4;
    controls::TLabel Label5;
    controls::TPaintBox PB;
    QProgressBar ProgressBar1;
    controls::TFramSpeedBtn FramSpeedBtn1;
    controls::TFramSpeedBtn FramSpeedBtn2;
    controls::TFramSpeedBtn FramSpeedBtn3;
    controls::TFramSpeedBtn FramSpeedBtn4;
    controls::TFramSpeedBtn FramSpeedBtn5;
    // FramSpeedBtn7..FramSpeedBtn14.
    std::array<std::unique_ptr<controls::TFramSpeedBtn>, kModuleButtonCount> ModuleButtons;
    QTimer Timer2;
    QTimer Timer1;
    TOpenDialog od;
    TSingleProc SingleProc1;
    QTimer Timer3;

  private:
    std::array<QImage, 7> ImageList1;
    // The controls as the handlers see them.
    PlayerPorts Ports{FramSpeedBtn1, FramSpeedBtn3, SpinEdit1, TrackBar1, Timer2};

    // The handlers behind the controls.
    SpeedControl Speed;

  public:
    Transport Transport1;

  private:
    std::unique_ptr<overview::ScanController> Scan;

  public:
    SourceLoader Loader;
    std::unique_ptr<overview::RefreshTick> Refresh;
    std::unique_ptr<overview::MeterTick> Meter;

    void Timer2Timer();
    // A module button: tells when its program file is missing from the current folder.
    void ModuleButtonClick(int index);

    // False when the audio output could not be opened (the program then ends).
    bool AudioReady() const { return audioReady_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormCloseQuery();
    void FormDestroy();
    void CreateControls();
    void WireEvents();

    AudioInit initAudio_;
    FrameCentring centring_{*this};
    bool audioReady_ = false;
    bool shown_ = false;
    bool destroyed_ = false;
};

}  // namespace tarvel
