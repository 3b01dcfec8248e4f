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
    // A text wider than the label (a time of five-digit seconds in a time label) keeps its start
    // whatever the alignment: the edge cuts off its least significant end, never its leading
    // digits.
    Qt::Alignment alignment = this->alignment();
    if (CaptionBlockSize(font(), text()).width() > width()) {
        alignment = (alignment & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
    }
    DrawCaptionBlock(painter, rect(), alignment, text());
}

}  // namespace tarvel::controls
