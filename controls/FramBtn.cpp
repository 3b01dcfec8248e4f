#include "controls/FramBtn.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/ButtonLayout.h"
#include "controls/CaptionText.h"
#include "controls/Edge.h"

namespace tarvel::controls {

namespace {

constexpr int kDefaultWidth = 23;
constexpr int kDefaultHeight = 22;
constexpr int kFrameWidth = 1;
constexpr QPoint kPressedShift{1, 1};
constexpr QPoint kEmbossShift{1, 1};  // the disabled look's highlight copy
// The caption is one block of text, its lines centred: explicit line breaks are kept, none are
// added.
constexpr Qt::Alignment kCaptionAlignment = Qt::AlignHCenter;

bool IsDown(TFramSpeedBtn::TButtonState state) {
    return state == TFramSpeedBtn::TButtonState::bsDown ||
           state == TFramSpeedBtn::TButtonState::bsExclusive;
}

// The glyph with every pixel of its bottom-left pixel's colour made transparent.
QImage WithTransparentColour(const QImage& glyph) {
    if (glyph.isNull()) {
        return {};
    }
    QImage out = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = glyph.pixel(0, glyph.height() - 1) & RGB_MASK;
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((row[x] & RGB_MASK) == key) {
                row[x] = 0;
            }
        }
    }
    return out;
}

// One colour wherever the (already keyed) glyph shows a pixel.
QImage Silhouette(const QImage& drawnGlyph, const QColor& colour) {
    QImage out(drawnGlyph.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(drawnGlyph.pixel(x, y)) != 0) {
                out.setPixel(x, y, colour.rgba());
            }
        }
    }
    return out;
}

}  // namespace

TFramSpeedBtn::TFramSpeedBtn(QWidget* parent) : QWidget(parent) {
    resize(kDefaultWidth, kDefaultHeight);
    // No background of its own: Qt draws the container beneath before each paint.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground, false);
    setFocusPolicy(Qt::NoFocus);
    // Moves without a held button drive the hover re-check.
    setMouseTracking(true);
}

void TFramSpeedBtn::SetCaption(const QString& caption) {
    if (caption_ != caption) {
        caption_ = caption;
        update();
    }
}

void TFramSpeedBtn::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    drawnGlyph_ = WithTransparentColour(glyph_);
    update();
}

void TFramSpeedBtn::SetLayout(TButtonLayout layout) {
    if (layout_ != layout) {
        layout_ = layout;
        update();
    }
}

void TFramSpeedBtn::SetMargin(int margin) {
    if (margin_ != margin) {
        margin_ = margin;
        update();
    }
}

void TFramSpeedBtn::SetSpacing(int spacing) {
    if (spacing_ != spacing) {
        spacing_ = spacing;
        update();
    }
}

void TFramSpeedBtn::SetFlat(bool flat) {
    if (flat_ != flat) {
        flat_ = flat;
        update();
    }
}

QSize TFramSpeedBtn::CaptionSize() const {
    return CaptionBlockSize(font(), caption_);
}

TFramSpeedBtn::Placement TFramSpeedBtn::CurrentPlacement() const {
    const QRect content = rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    const QPoint offset = IsDown(state_) ? kPressedShift : QPoint(0, 0);
    const QSize glyph = glyph_.isNull() ? QSize(0, 0) : glyph_.size();
    const ButtonContentPlacement p =
        PlaceButtonContent(content, glyph, CaptionSize(), layout_, margin_, spacing_, offset);
    return {p.glyph, p.caption};
}

QRect TFramSpeedBtn::GlyphRect() const {
    return CurrentPlacement().glyph;
}

QRect TFramSpeedBtn::CaptionRect() const {
    return CurrentPlacement().caption;
}

void TFramSpeedBtn::SetState(TButtonState state) {
    if (state_ != state) {
        state_ = state;
        update();
    }
}

void TFramSpeedBtn::paintEvent(QPaintEvent* /*event*/) {
    // A disabled button shows the disabled state; an enabled one never keeps it.
    if (!isEnabled()) {
        state_ = TButtonState::bsDisabled;
        pressing_ = false;
    } else if (state_ == TButtonState::bsDisabled) {
        state_ = TButtonState::bsUp;
    }

    QPainter painter(this);
    const QPalette& pal = palette();
    const bool down = IsDown(state_);
    if (down) {
        DrawEdge(painter, rect(), EdgeKind::Sunken, pal);
    } else if (state_ != TButtonState::bsDisabled && (hot_ || !flat_)) {
        // A button that is not flat keeps its frame at all times.
        DrawEdge(painter, rect(), EdgeKind::Raised, pal);
    }

    const Placement placement = CurrentPlacement();
    if (state_ == TButtonState::bsDisabled) {
        PaintDisabledContent(painter, placement);
    } else {
        if (!drawnGlyph_.isNull()) {
            painter.drawImage(placement.glyph.topLeft(), drawnGlyph_);
        }
        if (!caption_.isEmpty()) {
            painter.setFont(font());
            painter.setPen(pal.color(QPalette::WindowText));
            DrawCaptionBlock(painter, placement.caption, kCaptionAlignment, caption_);
        }
    }

    // The framed button's own addition: the raised frame also while idle.
    if (flat_ && state_ == TButtonState::bsUp && !hovered_) {
        DrawEdge(painter, rect(), EdgeKind::Raised, pal);
    }
}

void TFramSpeedBtn::PaintDisabledContent(QPainter& painter, const Placement& placement) const {
    const QColor highlight = EdgeHighlight(palette());
    const QColor shadow = EdgeShadow(palette());
    if (!drawnGlyph_.isNull()) {
        painter.drawImage(placement.glyph.topLeft() + kEmbossShift,
                          Silhouette(drawnGlyph_, highlight));
        painter.drawImage(placement.glyph.topLeft(), Silhouette(drawnGlyph_, shadow));
    }
    if (!caption_.isEmpty()) {
        painter.setFont(font());
        painter.setPen(highlight);
        DrawCaptionBlock(painter, placement.caption.translated(kEmbossShift), kCaptionAlignment,
                         caption_);
        painter.setPen(shadow);
        DrawCaptionBlock(painter, placement.caption, kCaptionAlignment, caption_);
    }
}

void TFramSpeedBtn::EnterNotification() {
    hovered_ = true;
    if (flat_ && !hot_ && isEnabled() && QWidget::mouseGrabber() == nullptr) {
        hot_ = true;
        update();
    }
}

void TFramSpeedBtn::LeaveNotification() {
    hovered_ = false;
    if (flat_ && hot_ && isEnabled() && !pressing_) {
        hot_ = false;
        update();
    }
}

bool TFramSpeedBtn::PointerOverThis(const QPoint& pos) const {
    if (!rect().contains(pos)) {
        return false;
    }
    // Where buttons overlap, the pointer is over the one on top.
    const QWidget* parent = parentWidget();
    return parent == nullptr || parent->childAt(mapToParent(pos)) == this;
}

void TFramSpeedBtn::RecheckHover(const QPoint& pos) {
    if (!flat_ || !isEnabled()) {
        return;
    }
    if (PointerOverThis(pos)) {
        hot_ = false;
        EnterNotification();
    } else {
        hot_ = true;
        LeaveNotification();
    }
}

void TFramSpeedBtn::enterEvent(QEnterEvent* /*event*/) {
    EnterNotification();
}

void TFramSpeedBtn::leaveEvent(QEvent* /*event*/) {
    LeaveNotification();
}

void TFramSpeedBtn::Press() {
    SetState(TButtonState::bsDown);
    pressing_ = true;
}

void TFramSpeedBtn::mousePressEvent(QMouseEvent* event) {
    // Accepting every press keeps the mouse with this button until the release; only the left
    // button presses it.
    event->accept();
    if (event->button() == Qt::LeftButton && isEnabled()) {
        Press();
    }
}

void TFramSpeedBtn::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is an ordinary press: a double click is two clicks.
    mousePressEvent(event);
}

void TFramSpeedBtn::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (pressing_) {
        SetState(rect().contains(pos) ? TButtonState::bsDown : TButtonState::bsUp);
    } else if (!hot_) {
        RecheckHover(pos);
    }
}

void TFramSpeedBtn::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressing_) {
        return;
    }
    const QPoint pos = event->position().toPoint();
    pressing_ = false;
    const bool wasDown = state_ != TButtonState::bsUp;
    state_ = TButtonState::bsUp;
    hot_ = false;
    const bool inside = rect().contains(pos);
    if (inside || wasDown) {
        update();
    }
    if (inside) {
        emit Click();
    }
    RecheckHover(pos);
}

void TFramSpeedBtn::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::EnabledChange:
            if (!isEnabled()) {
                state_ = TButtonState::bsDisabled;
                pressing_ = false;
            } else if (state_ == TButtonState::bsDisabled) {
                state_ = TButtonState::bsUp;
            }
            update();
            break;
        case QEvent::FontChange:
        case QEvent::PaletteChange:
            update();
            break;
        default:
            break;
    }
    QWidget::changeEvent(event);
}

}  // namespace tarvel::controls
