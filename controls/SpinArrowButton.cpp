#include "controls/SpinArrowButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include "controls/Edge.h"

namespace tarvel::controls {

namespace {
constexpr int kArrowHalfWidth = 3;  // the triangle is 7 pixels wide and 4 high
constexpr int kArrowHeight = 4;
}  // namespace

SpinArrowButton::SpinArrowButton(Direction direction, QWidget* parent)
    : QWidget(parent), direction_(direction) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    SetRepeatTimer(std::make_unique<QtRepeatTimer>());
}

void SpinArrowButton::SetRepeatTimer(std::unique_ptr<RepeatTimer> timer) {
    if (repeat_) {
        repeat_->Stop();
    }
    repeat_ = std::move(timer);
    repeat_->OnTimeout = [this] { Repeat(); };
}

void SpinArrowButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Button));
    const bool down = IsDown();
    DrawEdge(painter, rect(), down ? EdgeKind::Sunken : EdgeKind::Raised, pal);

    const int shift = down ? 1 : 0;
    const int cx = (width() - 1) / 2 + shift;
    const int top = (height() - kArrowHeight) / 2 + shift;
    QPolygon triangle;
    if (direction_ == Direction::Up) {
        triangle << QPoint(cx, top) << QPoint(cx - kArrowHalfWidth, top + kArrowHeight - 1)
                 << QPoint(cx + kArrowHalfWidth, top + kArrowHeight - 1);
    } else {
        triangle << QPoint(cx - kArrowHalfWidth, top) << QPoint(cx + kArrowHalfWidth, top)
                 << QPoint(cx, top + kArrowHeight - 1);
    }
    const QColor ink = isEnabled() ? pal.color(QPalette::ButtonText)
                                   : pal.color(QPalette::Disabled, QPalette::ButtonText);
    painter.setPen(ink);
    painter.setBrush(ink);
    painter.drawPolygon(triangle);
}

void SpinArrowButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        return;
    }
    pressed_ = true;
    inside_ = true;
    update();
    if (OnPressed) {
        OnPressed();
    }
    repeat_->Start(kFirstRepeatMs);
}

void SpinArrowButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // Fast clicking steps once per click.
    mousePressEvent(event);
}

void SpinArrowButton::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) {
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != inside_) {
        inside_ = inside;
        update();
    }
}

void SpinArrowButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) {
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    Stop();
    if (inside && OnStep) {
        OnStep();
    }
}

void SpinArrowButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        Stop();
    }
    QWidget::changeEvent(event);
}

void SpinArrowButton::Repeat() {
    // Held off the arrow, the repeat keeps its pace and resumes when the pointer comes back.
    repeat_->Start(kRepeatMs);
    if (pressed_ && inside_ && OnStep) {
        OnStep();
    }
}

void SpinArrowButton::Stop() {
    repeat_->Stop();
    pressed_ = false;
    inside_ = false;
    update();
}

}  // namespace tarvel::controls
