// The meter tick: while a scan runs, the progress display in place of the overview; otherwise the
// two-bar level meter with an instant rise and a linear fall. UI thread only.
#pragma once

#include "player/PlayerSession.h"

class QCheckBox;
class QProgressBar;
class QSlider;

namespace tarvel::controls {
class TPaintBox;
class TPanel;
class TShape;
}  // namespace tarvel::controls

namespace tarvel {
class AudioPort;
}  // namespace tarvel

namespace tarvel::overview {

struct MeterControls {
    controls::TPanel* Panel1 = nullptr;  // overview frame; its caption shows the progress text
    controls::TPanel* Panel2 = nullptr;  // time labels
    controls::TPaintBox* PB = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QSlider* TrackBar1 = nullptr;
    controls::TPanel* Panel6 = nullptr;
    controls::TShape* Shape2 = nullptr;
    controls::TShape* Shape4 = nullptr;
};

class MeterTick {
  public:
    MeterTick(PlayerSession& session, MeterControls controls);
    // The same over another audio layer (tests script level readings through it).
    MeterTick(PlayerSession& session, MeterControls controls, AudioPort& audio);
    void Timer3Timer();
    int MeterWidth(int level) const;

  private:
    void ShowProgress();
    void ShowOverview();

    PlayerSession& session_;
    MeterControls c_;
    AudioPort& audio_;
};

}  // namespace tarvel::overview
