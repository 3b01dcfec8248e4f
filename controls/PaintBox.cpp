#include "controls/PaintBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace tarvel::controls {

namespace {
// The pointer position in whole pixels; outside the box (while a button is held) it may be
// negative or beyond the size.
QPoint PixelOf(const QMouseEvent* event) {
    return event->position().toPoint();
}
}  // namespace

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
    // Moves are reported with no button held too, as the owner's handlers expect.
    setMouseTracking(true);
}

void TPaintBox::paintEvent(QPaintEvent* /*event*/) {
    if (!OnPaint) {
        return;
    }
    QPainter painter(this);
    OnPaint(painter);
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit MouseDown(event->button(), p.x(), p.y());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
    // Qt keeps sending moves to the box that received the press until the release, wherever
    // the pointer goes.
    const QPoint p = PixelOf(event);
    emit MouseMove(event->buttons(), p.x(), p.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit MouseUp(event->button(), p.x(), p.y());
}

}  // namespace tarvel::controls
