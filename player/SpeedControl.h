// The speed box SpinEdit1: its text is the only store of the speed (50..400 % of normal). Applies
// the tempo to PlayChannel, colours the box by its value, and implements the typing rule that
// lets a digit start a new number once a complete speed stands in the box. UI thread only.
#pragma once

#include <QChar>
#include <QColor>

#include "player/ControlPorts.h"
#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr int kSpeedMin = 50;
inline constexpr int kSpeedMax = 400;
inline constexpr int kSpeedNormal = 100;
inline const QColor kSpeedColorInRange{0xFF, 0xFF, 0xFF};
inline const QColor kSpeedColorAbove{0xFF, 0x80, 0xC0};
inline const QColor kSpeedColorBelow{0xC0, 0xC0, 0xC0};
class SpeedControl {
  public:
    SpeedControl(PlayerSession& session, SpeedBox& SpinEdit1);

    // Sets the box's fixed properties: 50..400, step 1, value 100.
    void Configure();

    // Every change of the text, and PLAY right after starting playback.
    void SpinEdit1Change();
    // A typed character that passed the box's filter, before it is inserted.
    void SpinEdit1KeyPress(QChar key);
    void SpinEdit1Enter();
    void SpinEdit1Click();

    // How many times a tempo was handed to the engine (lets tests see whether RESET made a call).
    int TempoCalls() const { return tempoCalls_; }

  private:
    PlayerSession& session_;
    SpeedBox& SpinEdit1_;
    int tempoCalls_ = 0;
};

}  // namespace tarvel
