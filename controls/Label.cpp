#include "controls/Label.h"

#include <QPainter>

#include "controls/CaptionText.h"

namespace tarvel::controls {

TLabel::TLabel(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QSize TLabel::sizeHint() const {
    return CaptionBlockSize(font(), text());
}

QSize TLabel::minimumSizeHint() const {
    return sizeHint();
}

void TLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    DrawCaptionBlock(painter, rect(), alignment(), text());
}

}  // namespace tarvel::controls
