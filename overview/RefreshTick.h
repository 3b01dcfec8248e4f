// The refresh tick: draws the overview (region band, envelope, marks) into OverviewBitmap, shows
// the marks' times, returns the play button to idle, guards the loop end, and adapts its own
// interval to the time its drawing takes.
#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>

#include "player/PlayerSession.h"

class QLabel;
class QPainter;
class QTimer;

namespace tarvel::controls {
class TFramSpeedBtn;
class TPaintBox;
}  // namespace tarvel::controls

namespace tarvel::overview {

struct RefreshControls {
    controls::TPaintBox* PB = nullptr;
    QLabel* Label3 = nullptr;  // play position
    QLabel* Label4 = nullptr;  // start mark
    QLabel* Label5 = nullptr;  // end mark
    controls::TFramSpeedBtn* FramSpeedBtn1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
};

class RefreshTick {
public:
    // `bitmapWidth`: the width of the whole screen.
    RefreshTick(PlayerSession& session, RefreshControls controls, int bitmapWidth);

    void Timer1Timer();
    void PBPaint(QPainter& painter);
    void DrawOverview();
    void DrawMarker(std::int32_t x, int kind, QColor color, std::int64_t position);

    QImage& OverviewBitmap() { return bitmap_; }

private:
    PlayerSession& session_;
    RefreshControls c_;
    QImage bitmap_;
};

}  // namespace tarvel::overview
