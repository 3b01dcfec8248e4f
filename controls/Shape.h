// TShape: a filled rectangle without outline (the level meter's bars).
#pragma once

#include <QColor>
#include <QWidget>

namespace tarvel::controls {

class TShape : public QWidget {
    Q_OBJECT
  public:
    explicit TShape(QWidget* parent = nullptr);
    void SetBrushColor(const QColor& color);
    QColor BrushColor() const { return color_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_{255, 255, 255};
};

}  // namespace tarvel::controls
