#include "controls/Panel.h"

#include <QPainter>
#include <algorithm>

#include "controls/CaptionText.h"
#include "controls/Edge.h"

namespace tarvel::controls {

namespace {
constexpr int kBevelWidth = 1;
}

TPanel::TPanel(QWidget* parent) : QWidget(parent) {}

void TPanel::SetBevel(Bevel bevel) {
    if (bevel_ != bevel) {
        bevel_ = bevel;
        update();
    }
}

void TPanel::SetColor(const QColor& color) {
    if (color_ != color) {
        color_ = color;
        update();
    }
}

void TPanel::SetCaption(const QString& caption) {
    if (caption_ != caption) {
        caption_ = caption;
        update();
    }
}

void TPanel::SetFontColor(const QColor& color) {
    fontColor_ = color;
    // Children that draw text in their parent's font colour (labels, buttons) inherit it.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
    update();
}

int TPanel::ClientWidth() const {
    const int inset = bevel_ == Bevel::Lowered ? 2 * kBevelWidth : 0;
    return std::max(0, width() - inset);
}

int TPanel::ClientHeight() const {
    const int inset = bevel_ == Bevel::Lowered ? 2 * kBevelWidth : 0;
    return std::max(0, height() - inset);
}

void TPanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), color_);
    if (bevel_ == Bevel::Lowered) {
        DrawEdge(painter, rect(), EdgeKind::Sunken, palette());
    }
    if (!caption_.isEmpty()) {
        // One line centred inside the bevel, halves of a pixel going up and left.
        const int inset = bevel_ == Bevel::Lowered ? kBevelWidth : 0;
        const QRect inner = rect().adjusted(inset, inset, -inset, -inset);
        const QRect line(inner.left(), inner.top() + (inner.height() - kCaptionLineHeight) / 2,
                         inner.width(), kCaptionLineHeight);
        painter.setPen(fontColor_);
        painter.setFont(font());
        DrawCaptionBlock(painter, line, Qt::AlignHCenter, caption_);
    }
}

}  // namespace tarvel::controls
