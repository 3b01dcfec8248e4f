// The refresh tick: draws the overview (region band, envelope, marks) into OverviewBitmap, shows
// the marks' times, returns the play button to idle, guards the loop end, and adapts its own
// interval to the time its drawing takes. UI thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

#include "player/PlayerSession.h"

class QLabel;
class QPainter;
class QTimer;

namespace tarvel::controls {
class TFramSpeedBtn;
class TPaintBox;
}  // namespace tarvel::controls

namespace tarvel {
class AudioPort;
}  // namespace tarvel

namespace tarvel::overview {

// DrawMarker kinds.
inline constexpr int kMarkPlay = 0;
inline constexpr int kMarkStart = 10;
inline constexpr int kMarkEnd = 20;

// The height of the overview strip and of its bitmap.
inline constexpr int kOverviewHeight = 30;

struct RefreshControls {
    controls::TPaintBox* PB = nullptr;
    QLabel* Label3 = nullptr;  // play position
    QLabel* Label4 = nullptr;  // start mark
    QLabel* Label5 = nullptr;  // end mark
    controls::TFramSpeedBtn* FramSpeedBtn1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
};

// A time label's text: "%7.2f" seconds with the user's decimal separator. A format without a
// byte rate (no channels) shows 0.
QString TimeLabelText(std::int64_t position, std::uint32_t sampleRate, std::uint32_t channelCount);

class RefreshTick {
  public:
    // `bitmapWidth`: the width of the whole screen.
    RefreshTick(PlayerSession& session, RefreshControls controls, int bitmapWidth);
    // The same over another audio layer (tests script positions through it).
    RefreshTick(PlayerSession& session, RefreshControls controls, int bitmapWidth,
                AudioPort& audio);

    void Timer1Timer();
    void PBPaint(QPainter& painter);
    // The bitmap no longer shows the loaded source (a new one was opened): the overview shows
    // nothing until the tick has drawn it again.
    void DiscardOverview();
    void DrawOverview();
    void DrawMarker(std::int32_t x, int kind, QColor color, std::int64_t position);

    QImage& OverviewBitmap() { return bitmap_; }
    // A monotonic millisecond clock (32 bits, wrapping); tests replace it to time the ticks.
    using Clock = std::function<std::uint32_t()>;
    void SetClock(Clock clock) { clock_ = std::move(clock); }

  private:
    int MarkerHeight() const;
    void FillColumns(int from, int to, QRgb color);
    void Plot(int x, int y, QRgb color);

    PlayerSession& session_;
    RefreshControls c_;
    AudioPort& audio_;
    QImage bitmap_;
    // The bitmap holds a drawing of the current source and scan.
    bool bitmapCurrent_ = false;
    Clock clock_;
};

}  // namespace tarvel::overview
