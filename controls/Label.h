// TLabel: a see-through line of text that starts at its top edge, in its palette's window-text
// colour, placed left, centred or right by its alignment; a text wider than the label starts at
// its left edge. Its natural size is the text's block (width by 13-pixel lines), so an auto-sized
// label measures as the layout expects.
#pragma once

#include <QLabel>

namespace tarvel::controls {

class TLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tarvel::controls
