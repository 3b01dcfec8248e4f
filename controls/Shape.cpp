#include "controls/Shape.h"

#include <QPainter>

namespace tarvel::controls {

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(const QColor& color) {
    if (color_ != color) {
        color_ = color;
        update();
    }
}

void TShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), color_);
}

}  // namespace tarvel::controls
