#include "overview/RefreshTick.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "controls/FramBtn.h"
#include "controls/PaintBox.h"
#include "player/AudioPort.h"
#include "player/ButtonFaces.h"
#include "resources/Images.h"

namespace tarvel::overview {

namespace {

constexpr QRgb kOutsideRegion = 0xFF115511;
constexpr QRgb kInsideRegion = 0xFF222200;
constexpr QRgb kEnvelope = 0xFF00FF00;
const QColor kStartColor{0xFF, 0xFF, 0x00};
const QColor kEndColor{0xFF, 0x00, 0x00};
const QColor kPlayColor{0xFF, 0xFF, 0xFF};

// The envelope's full scale as drawn (a signed 16-bit maximum).
constexpr long double kEnvelopeFullScale = 32767.0L;

constexpr int kWaitInterval = 100;  // ms, while a scan is pending or running
constexpr int kIdleInterval = 100;  // ms, while nothing plays or playback is paused
constexpr int kMinInterval = 20;
constexpr int kMaxInterval = 100;
constexpr std::uint32_t kStallMs = 1000;  // a longer tick is a clock wrap or a stall
constexpr std::uint32_t kWorkFactor = 4;  // the interval settles at four times the work

// One row span (first..last column relative to the mark) of an arrow.
struct ArrowRow {
    int row;  // negative: counted from the bottom (-1 = H - 1)
    int from;
    int to;
};
// One column span of an arrow.
struct ArrowColumn {
    int column;  // relative to the mark
    int fromRow;
    int toRow;
};

// The play mark's wedges at its top and bottom.
constexpr ArrowRow kPlayArrow[] = {{0, -3, 2},  {1, -2, 1},  {2, -1, 0},
                                   {-3, -1, 0}, {-2, -2, 1}, {-1, -3, 2}};
// The start mark's triangle on its left and the end mark's on its right.
constexpr ArrowColumn kStartArrow[] = {{-1, 5, 6}, {-2, 4, 7}, {-3, 3, 8}, {-4, 2, 9}};
constexpr ArrowColumn kEndArrow[] = {{1, 5, 6}, {2, 4, 7}, {3, 3, 8}, {4, 2, 9}};

std::uint32_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Nearest column of a byte position, halves upward; computed in extended precision.
std::int32_t Column(long double position, QWORD bytesPerPixel) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(position / bytesPerPixel + 0.5L));
}

// Envelope height in rows for one side.
int EnvelopeRows(std::uint16_t value, int half) {
    const auto v = static_cast<std::int16_t>(value);
    return static_cast<int>(v / kEnvelopeFullScale * half + 0.5L);
}

}  // namespace

QString TimeLabelText(std::int64_t position, std::uint32_t sampleRate, std::uint32_t channelCount) {
    constexpr std::uint32_t kBytesPerSample = 2;
    const std::uint32_t bytesPerSecond = sampleRate * kBytesPerSample * channelCount;
    const long double seconds =
        bytesPerSecond == 0 ? 0.0L : static_cast<long double>(position) / bytesPerSecond;
    QString text = QString::asprintf("%7.2Lf", seconds);
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return text;
}

RefreshTick::RefreshTick(PlayerSession& session, RefreshControls controls, int bitmapWidth)
    : RefreshTick(session, controls, bitmapWidth, DefaultAudioPort()) {}

RefreshTick::RefreshTick(PlayerSession& session, RefreshControls controls, int bitmapWidth,
                         AudioPort& audio)
    : session_(session),
      c_(controls),
      audio_(audio),
      bitmap_(std::max(bitmapWidth, 1), kOverviewHeight, QImage::Format_RGB32),
      clock_(&NowMs) {
    bitmap_.fill(Qt::black);
}

int RefreshTick::MarkerHeight() const {
    return c_.PB ? c_.PB->height() : kOverviewHeight;
}

void RefreshTick::FillColumns(int from, int to, QRgb color) {
    from = std::max(from, 0);
    to = std::min(to, bitmap_.width() - 1);
    if (from > to) {
        return;
    }
    for (int y = 0; y < bitmap_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(bitmap_.scanLine(y));
        std::fill(line + from, line + to + 1, color);
    }
}

void RefreshTick::Plot(int x, int y, QRgb color) {
    if (x >= 0 && x < bitmap_.width() && y >= 0 && y < bitmap_.height()) {
        reinterpret_cast<QRgb*>(bitmap_.scanLine(y))[x] = color;
    }
}

void RefreshTick::DrawOverview() {
    const QWORD bpp = session_.BytesPerPixel.load();
    if (session_.Closing.load() || bpp == 0) {
        return;
    }
    const auto width = static_cast<QWORD>(bitmap_.width());
    const QWORD loopStart = session_.LoopStart.load();
    const QWORD loopEnd = session_.LoopEnd.load();
    const QWORD s = loopStart > 0 ? loopStart / bpp : 0;
    const QWORD e = loopEnd > 0 ? loopEnd / bpp : width;

    if (s != 0) {
        FillColumns(0, static_cast<int>(std::min(s, width)) - 1, kOutsideRegion);
    }
    if (e != width && e < width) {
        FillColumns(static_cast<int>(e), bitmap_.width() - 1, kOutsideRegion);
    }
    if (e != s && s < width) {
        FillColumns(static_cast<int>(s), static_cast<int>(std::min(e, width)) - 1, kInsideRegion);
    }

    const int half = bitmap_.height() / 2;
    const auto& left = session_.WaveLeft;
    const auto& right = session_.WaveRight;
    const std::size_t columns =
        std::min<std::size_t>(left.size(), static_cast<std::size_t>(std::max(0, bitmap_.width())));
    for (std::size_t i = 0; i < columns; ++i) {
        const int a = EnvelopeRows(left[i], half);
        const int b = i < right.size() ? EnvelopeRows(right[i], half) : 0;
        if (a + b == 0) {
            continue;
        }
        const int top = std::max(half - a, 0);
        const int bottom = std::min(half + b - 1, bitmap_.height() - 1);
        for (int y = top; y <= bottom; ++y) {
            reinterpret_cast<QRgb*>(bitmap_.scanLine(y))[i] = kEnvelope;
        }
    }
}

void RefreshTick::DrawMarker(std::int32_t x, int kind, QColor color, std::int64_t position) {
    if (session_.Closing.load()) {
        return;
    }
    const int pbWidth = c_.PB ? c_.PB->width() : bitmap_.width();
    if (x >= pbWidth) {
        x = pbWidth - 1;
    }
    const QString text = TimeLabelText(position, session_.SampleRate, session_.ChannelCount);

    const int h = MarkerHeight();
    const QRgb rgb = color.rgb();
    for (int y = 0; y < h; ++y) {
        Plot(x, y, rgb);
    }
    QLabel* label = nullptr;
    if (kind == kMarkPlay) {
        for (const ArrowRow& r : kPlayArrow) {
            const int row = r.row >= 0 ? r.row : h + r.row;
            for (int dx = r.from; dx <= r.to; ++dx) {
                Plot(x + dx, row, rgb);
            }
        }
        label = c_.Label3;
    } else if (kind == kMarkStart || kind == kMarkEnd) {
        for (const ArrowColumn& col : kind == kMarkStart ? kStartArrow : kEndArrow) {
            for (int y = col.fromRow; y <= col.toRow; ++y) {
                Plot(x + col.column, y, rgb);
            }
        }
        label = kind == kMarkStart ? c_.Label4 : c_.Label5;
    }
    if (label && label->text() != text) {
        label->setText(text);
    }
}

void RefreshTick::Timer1Timer() {
    if (session_.Closing.load()) {
        return;
    }
    QTimer* timer = c_.Timer1;
    if (session_.Scanning.load() || (c_.Timer2 && c_.Timer2->isActive())) {
        // The scan rewrites the envelope: the old drawing must not come back when the overview
        // is shown again before this tick has drawn the new one.
        bitmapCurrent_ = false;
        if (timer) {
            if (timer->interval() != kWaitInterval) {
                timer->setInterval(kWaitInterval);
            }
            if (!timer->isActive()) {
                timer->start();
            }
        }
        return;
    }
    if (timer) {
        timer->stop();
    }
    const std::uint32_t t0 = clock_();

    const bool playing = session_.Playing.load();
    if (!playing && c_.FramSpeedBtn1 && c_.FramSpeedBtn1->Caption() != kFaceIdle.caption) {
        c_.FramSpeedBtn1->SetCaption(kFaceIdle.caption);
        c_.FramSpeedBtn1->SetGlyph(resources::Glyph(kFaceIdle.glyph));
    }

    const QWORD bpp = session_.BytesPerPixel.load();
    if (bpp != 0) {
        const QWORD loopStart = session_.LoopStart.load();
        const QWORD loopEnd = session_.LoopEnd.load();
        DrawOverview();
        DrawMarker(Column(static_cast<long double>(loopStart), bpp), kMarkStart, kStartColor,
                   static_cast<std::int64_t>(loopStart));
        DrawMarker(Column(static_cast<long double>(loopEnd), bpp), kMarkEnd, kEndColor,
                   static_cast<std::int64_t>(loopEnd));
        if (c_.Label3) {
            c_.Label3->setVisible(playing);
        }
        if (playing) {
            const HSTREAM channel = session_.PlayChannel.load();
            const auto p = static_cast<std::int64_t>(audio_.ChannelGetPosition(channel));
            DrawMarker(Column(static_cast<long double>(p), bpp), kMarkPlay, kPlayColor, p);
            // Second guard behind the sync: playback that ran a column past the end mark goes
            // back to the start. The error position (negative) never passes.
            const QWORD limit = loopEnd + bpp;
            if (p >= 0 && static_cast<QWORD>(p) > limit) {
                if (!audio_.ChannelSetPosition(channel, session_.LoopStart.load())) {
                    audio_.ChannelSetPosition(channel, 0);
                }
            }
        }
        bitmapCurrent_ = true;
        if (c_.PB) {
            c_.PB->repaint();
        }
    }

    const std::uint32_t d = clock_() - t0;
    int& interval = session_.RefreshInterval;
    if (d < kStallMs) {
        interval = (interval + static_cast<int>(kWorkFactor * d)) / 2;
        interval = std::clamp(interval, kMinInterval, kMaxInterval);
    }
    if (!session_.Playing.load() || session_.Paused.load()) {
        interval = kIdleInterval;
    }
    if (timer) {
        if (timer->interval() != interval) {
            timer->setInterval(interval);
        }
        timer->start();
    }
}

void RefreshTick::PBPaint(QPainter& painter) {
    if (!session_.Closing.load() && session_.BytesPerPixel.load() != 0 && bitmapCurrent_) {
        painter.drawImage(0, 0, bitmap_);
    }
}

void RefreshTick::DiscardOverview() {
    bitmapCurrent_ = false;
    if (c_.PB) {
        c_.PB->update();
    }
}

}  // namespace tarvel::overview
