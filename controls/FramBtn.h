// TFramSpeedBtn: the window's command button. A flat, see-through push button that paints itself
// over its container (no background of its own), shows a caption above an optional glyph, never
// takes the keyboard focus, and keeps a thin raised frame even while idle.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

class QPainter;

namespace tarvel::controls {

class TFramSpeedBtn : public QWidget {
    Q_OBJECT
  public:
    enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
    enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

    explicit TFramSpeedBtn(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // Copies the picture's pixels into the glyph bitmap (NumGlyphs stays 1) and repaints.
    void SetGlyph(const QImage& glyph);
    const QImage& Glyph() const { return glyph_; }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return margin_; }
    void SetMargin(int margin);
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);

    TButtonState State() const { return state_; }
    bool Hot() const { return hot_; }
    bool Pressing() const { return pressing_; }
    bool Hovered() const { return hovered_; }

    // Where the glyph and the caption are drawn in the current state (button coordinates).
    QRect GlyphRect() const;
    QRect CaptionRect() const;

  signals:
    // One per click: the button has already returned to the up state and asked for a repaint.
    void Click();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Placement {
        QRect glyph;
        QRect caption;
    };
    Placement CurrentPlacement() const;
    QSize CaptionSize() const;
    void SetState(TButtonState state);
    // The base's pointer-enter and pointer-leave handling, with Hovered kept up to date.
    void EnterNotification();
    void LeaveNotification();
    void RecheckHover(const QPoint& pos);
    bool PointerOverThis(const QPoint& pos) const;
    void Press();
    void PaintDisabledContent(QPainter& painter, const Placement& placement) const;

    QString caption_;
    QImage glyph_;
    QImage drawnGlyph_;  // glyph_ with its transparent colour made see-through
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
    bool flat_ = true;
    TButtonState state_ = TButtonState::bsUp;
    bool hot_ = false;
    bool pressing_ = false;
    bool hovered_ = false;
};

}  // namespace tarvel::controls
