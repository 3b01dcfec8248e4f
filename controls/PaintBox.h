// TPaintBox: a surface whose content is drawn by its owner's paint handler, and which reports
// mouse presses, moves and releases with the pointer's coordinates.
#pragma once

#include <QWidget>
#include <functional>

class QPainter;

namespace tarvel::controls {

class TPaintBox : public QWidget {
    Q_OBJECT
  public:
    explicit TPaintBox(QWidget* parent = nullptr);

    // Called on every repaint with a painter on the box.
    std::function<void(QPainter&)> OnPaint;

  signals:
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseMove(Qt::MouseButtons buttons, int x, int y);
    void MouseUp(Qt::MouseButton button, int x, int y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tarvel::controls
