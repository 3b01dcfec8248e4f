#include "controls/CaptionText.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <algorithm>

namespace tarvel::controls {

namespace {
QStringList Lines(const QString& text) {
    return text.split(QLatin1Char('\n'));
}
}  // namespace

QSize CaptionBlockSize(const QFont& font, const QString& text) {
    if (text.isEmpty()) {
        return {0, 0};
    }
    const QFontMetrics metrics(font);
    const QStringList lines = Lines(text);
    int width = 0;
    for (const QString& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    return {width, static_cast<int>(lines.size()) * kCaptionLineHeight};
}

void DrawCaptionBlock(QPainter& painter, const QRect& box, Qt::Alignment alignment,
                      const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    const QFontMetrics metrics(painter.font());
    int top = box.top();
    for (const QString& line : Lines(text)) {
        const int free = box.width() - metrics.horizontalAdvance(line);
        int x = box.left();
        if (alignment & Qt::AlignRight) {
            x += free;
        } else if (alignment & Qt::AlignHCenter) {
            x += free / 2;
        }
        painter.drawText(QPoint(x, top + kCaptionAscent), line);
        top += kCaptionLineHeight;
    }
}

}  // namespace tarvel::controls
