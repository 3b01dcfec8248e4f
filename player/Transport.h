// The transport buttons: PLAY / PAUSE, STOP, the repeat/single switch and RESET. UI thread only.
#pragma once

#include "player/ControlPorts.h"
#include "player/PlayerSession.h"

namespace tarvel {

class SpeedControl;

class Transport {
  public:
    Transport(PlayerSession& session, FaceButton& FramSpeedBtn1, FaceButton& FramSpeedBtn3,
              SpeedBox& SpinEdit1, SpeedControl& speed);

    void FramSpeedBtn1Click();  // PLAY / PAUSE
    void FramSpeedBtn2Click();  // STOP
    void FramSpeedBtn3Click();  // REPEAT PLAY / SINGLE PLAY
    void FramSpeedBtn6Click();  // RESET

  private:
    PlayerSession& session_;
    FaceButton& FramSpeedBtn1_;
    FaceButton& FramSpeedBtn3_;
    SpeedBox& SpinEdit1_;
    SpeedControl& speed_;
};

}  // namespace tarvel
