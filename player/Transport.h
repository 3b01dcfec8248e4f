// The transport buttons: PLAY / PAUSE, STOP, the repeat/single switch and RESET. UI thread only.
#pragma once

#include <QString>

#include "player/PlayerSession.h"

namespace tarvel::controls {
class TFramSpeedBtn;
class TSpinEdit;
}  // namespace tarvel::controls

namespace tarvel {

class SpeedControl;

// Faces of the buttons: caption and glyph index.
struct ButtonFace {
    const char* caption;
    int glyph;
};
inline constexpr ButtonFace kFaceIdle{"PLAY / PAUSE", 0};
inline constexpr ButtonFace kFacePaused{"PLAY", 1};
inline constexpr ButtonFace kFacePlaying{"PAUSE", 2};
inline constexpr ButtonFace kFaceStop{"STOP", 3};
inline constexpr ButtonFace kFaceRepeat{"REPEAT PLAY", 4};
inline constexpr ButtonFace kFaceSingle{"SINGLE PLAY", 5};
inline constexpr ButtonFace kFaceLoad{"LOAD", 6};

// Shows `face` on `button` (caption and the glyph of that index).
void ShowFace(controls::TFramSpeedBtn& button, ButtonFace face);

class Transport {
  public:
    Transport(PlayerSession& session, controls::TFramSpeedBtn& FramSpeedBtn1,
              controls::TFramSpeedBtn& FramSpeedBtn3, controls::TSpinEdit& SpinEdit1,
              SpeedControl& speed);

    void FramSpeedBtn1Click();  // PLAY / PAUSE
    void FramSpeedBtn2Click();  // STOP
    void FramSpeedBtn3Click();  // REPEAT PLAY / SINGLE PLAY
    void FramSpeedBtn6Click();  // RESET

  private:
    PlayerSession& session_;
    controls::TFramSpeedBtn& FramSpeedBtn1_;
    controls::TFramSpeedBtn& FramSpeedBtn3_;
    controls::TSpinEdit& SpinEdit1_;
    SpeedControl& speed_;
};

}  // namespace tarvel
