#include "controls/SpinEdit.h"

#include <QApplication>
#include <QResizeEvent>
#include <algorithm>

#include "controls/SpinArrowButton.h"
#include "controls/SpinTextField.h"

namespace tarvel::controls {

namespace {
constexpr int kArrowWidth = 13;
constexpr int kFrameInset = 1;  // the arrows sit inside the field's one-pixel frame
}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent)
    : QWidget(parent),
      OnBeep([] { QApplication::beep(); }),
      field_(std::make_unique<SpinTextField>(this)),
      upButton_(std::make_unique<SpinArrowButton>(SpinArrowButton::Direction::Up, field_.get())),
      downButton_(
          std::make_unique<SpinArrowButton>(SpinArrowButton::Direction::Down, field_.get())),
      edit_(field_.get()) {
    setFocusProxy(field_.get());
    setFocusPolicy(field_->focusPolicy());
    field_->setTextMargins(0, 0, kArrowWidth, 0);
    field_->setText(QString::number(min_));

    connect(field_.get(), &QLineEdit::textChanged, this, [this] { emit Change(); });
    field_->OnCharacter = [this](QChar key) { return OnCharacter(key); };
    field_->OnRejected = [this] {
        if (OnBeep) {
            OnBeep();
        }
    };
    field_->OnStep = [this](int direction) { Step(direction); };
    field_->OnEntered = [this] { emit Enter(); };
    field_->OnLeft = [this] { LeaveBox(); };
    field_->OnLeftClick = [this] { emit Click(); };

    // Pressing an arrow first takes the focus to the text, as clicking the text would.
    const auto focusText = [this] {
        if (!field_->hasFocus()) {
            field_->setFocus(Qt::MouseFocusReason);
        }
    };
    upButton_->OnPressed = focusText;
    downButton_->OnPressed = focusText;
    upButton_->OnStep = [this] { Step(1); };
    downButton_->OnStep = [this] { Step(-1); };

    resize(field_->sizeHint());
}

TSpinEdit::~TSpinEdit() = default;

void TSpinEdit::SetMinValue(int v) {
    min_ = v;
}

void TSpinEdit::SetMaxValue(int v) {
    max_ = v;
}

void TSpinEdit::SetIncrement(int v) {
    increment_ = v;
}

QString TSpinEdit::Text() const {
    return field_->text();
}

void TSpinEdit::SetText(const QString& text) {
    if (field_->text() != text) {
        field_->setText(text);
    }
}

int TSpinEdit::Value() const {
    bool ok = false;
    const int v = field_->text().toInt(&ok);
    return ok ? v : min_;
}

int TSpinEdit::Limited(long long value) const {
    // A maximum below the minimum would make the range empty; the minimum wins.
    const long long hi = std::max(max_, min_);
    return static_cast<int>(std::clamp<long long>(value, min_, hi));
}

void TSpinEdit::SetValue(int value) {
    SetText(QString::number(Limited(value)));
}

void TSpinEdit::SetColor(const QColor& color) {
    QPalette pal = field_->palette();
    pal.setColor(QPalette::Base, color);
    field_->setPalette(pal);
}

QColor TSpinEdit::Color() const {
    return field_->palette().color(QPalette::Base);
}

void TSpinEdit::SelectAll() {
    field_->selectAll();
}

bool TSpinEdit::OnCharacter(QChar key) {
    emit KeyPress(key);
    return true;
}

void TSpinEdit::Step(int direction) {
    const long long next =
        static_cast<long long>(Value()) + static_cast<long long>(direction) * increment_;
    SetValue(Limited(next));
}

void TSpinEdit::LeaveBox() {
    const int v = Value();
    if (Limited(v) != v) {
        SetValue(v);
    }
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    field_->setGeometry(rect());
    const int inner = std::max(0, height() - 2 * kFrameInset);
    const int upHeight = inner / 2;
    const int x = std::max(0, width() - kFrameInset - kArrowWidth);
    upButton_->setGeometry(x, kFrameInset, kArrowWidth, upHeight);
    downButton_->setGeometry(x, kFrameInset + upHeight, kArrowWidth, inner - upHeight);
}

}  // namespace tarvel::controls
