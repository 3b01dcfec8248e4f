#include "controls/Edge.h"

#include <QPainter>

namespace tarvel::controls {

QColor EdgeHighlight(const QPalette& palette) {
    return palette.color(QPalette::Light);
}

QColor EdgeShadow(const QPalette& palette) {
    return palette.color(QPalette::Dark);
}

void DrawEdge(QPainter& painter, const QRect& rect, EdgeKind kind, const QPalette& palette) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return;
    }
    const QColor highlight = EdgeHighlight(palette);
    const QColor shadow = EdgeShadow(palette);
    const QColor topLeft = kind == EdgeKind::Raised ? highlight : shadow;
    const QColor bottomRight = kind == EdgeKind::Raised ? shadow : highlight;
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();  // last pixel column inside the rectangle
    const int b = rect.bottom();
    // fillRect with whole pixels: no pen width or antialiasing questions.
    painter.fillRect(QRect(l, t, rect.width(), 1), topLeft);
    painter.fillRect(QRect(l, t, 1, rect.height()), topLeft);
    // Bottom and right go last, so they own the bottom-left and top-right corners.
    painter.fillRect(QRect(l, b, rect.width(), 1), bottomRight);
    painter.fillRect(QRect(r, t, 1, rect.height()), bottomRight);
}

}  // namespace tarvel::controls
