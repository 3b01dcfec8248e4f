// The text field of TSpinEdit: a line edit whose typed characters pass a numeric filter, whose
// Up and Down keys step the value, and which reports entering, leaving and left clicks.
#pragma once

#include <QChar>
#include <QLineEdit>
#include <functional>

namespace tarvel::controls {

// The characters the field lets through: digits, signs, the decimal separator and control
// characters below 32 except carriage return.
bool IsSpinCharacter(QChar c, QChar decimalPoint);

class SpinTextField : public QLineEdit {
  public:
    explicit SpinTextField(QWidget* parent);

    // A typed character that passed the filter; returns whether to insert it.
    std::function<bool(QChar)> OnCharacter;
    // A typed character that did not pass (Enter included).
    std::function<void()> OnRejected;
    // +1 for Up, -1 for Down.
    std::function<void(int)> OnStep;
    std::function<void()> OnEntered;
    // The focus went to another control of the window.
    std::function<void()> OnLeft;
    std::function<void()> OnLeftClick;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool Accepts(QChar c) const;
};

}  // namespace tarvel::controls
