// One arrow button of TSpinEdit: steps once when released over it, and repeats while held.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "controls/RepeatTimer.h"

namespace tarvel::controls {

class SpinArrowButton : public QWidget {
  public:
    enum class Direction { Up, Down };

    SpinArrowButton(Direction direction, QWidget* parent);

    static constexpr int kFirstRepeatMs = 400;
    static constexpr int kRepeatMs = 100;

    // The left button went down on the arrow (before any step).
    std::function<void()> OnPressed;
    std::function<void()> OnStep;

    bool IsDown() const { return pressed_ && inside_; }

    // Replaces the clock the auto-repeat waits on (tests script it).
    void SetRepeatTimer(std::unique_ptr<RepeatTimer> timer);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Repeat();
    void Stop();

    Direction direction_;
    std::unique_ptr<RepeatTimer> repeat_;
    bool pressed_ = false;
    bool inside_ = false;
};

}  // namespace tarvel::controls
