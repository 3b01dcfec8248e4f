// TSpinEdit: a numeric spin field (one-line text field with up and down arrow buttons at its
// right edge) whose text is the only store of its value. Unlike QSpinBox it can hold an empty or
// out-of-range text while the user types.
#pragma once

#include <QChar>
#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLineEdit;

namespace tarvel::controls {

class SpinTextField;
class SpinArrowButton;

class TSpinEdit : public QWidget {
    Q_OBJECT
  public:
    explicit TSpinEdit(QWidget* parent = nullptr);
    ~TSpinEdit() override;

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetMinValue(int v);
    void SetMaxValue(int v);
    int Increment() const { return increment_; }
    void SetIncrement(int v);

    QString Text() const;
    // Writes the text; Change runs only if it differs from the current text.
    void SetText(const QString& text);
    // The text read as a decimal integer; empty or not an integer counts as MinValue.
    int Value() const;
    // Writes the value limited to MinValue..MaxValue, only if its text differs.
    void SetValue(int value);
    void SetColor(const QColor& color);
    QColor Color() const;
    void SelectAll();
    QLineEdit* Edit() const { return edit_; }

    // Sounds the refusal of a typed character; the platform beep unless replaced.
    std::function<void()> OnBeep;

  signals:
    // Every change of the text, whatever its cause.
    void Change();
    // A typed character that passed the character filter, before it is inserted. A handler may
    // clear the text; it never changes the key.
    void KeyPress(QChar key);
    // The field gained the focus / was clicked with the left button.
    void Enter();
    void Click();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Typed character: true to let it be inserted (after KeyPress).
    bool OnCharacter(QChar key);
    void Step(int direction);
    void LeaveBox();
    int Limited(long long value) const;

    std::unique_ptr<SpinTextField> field_;
    std::unique_ptr<SpinArrowButton> upButton_;
    std::unique_ptr<SpinArrowButton> downButton_;
    QLineEdit* edit_ = nullptr;  // field_, as the plain line edit it is to users
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
};

}  // namespace tarvel::controls
