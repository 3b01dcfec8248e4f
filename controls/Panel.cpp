#include "controls/Panel.h"

#include <QPainter>
#include <algorithm>

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
        painter.setPen(fontColor_);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
    }
}

}  // namespace tarvel::controls
