#include "controls/SpinTextField.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>

namespace tarvel::controls {

namespace {
constexpr char16_t kFirstPrintable = 32;
constexpr char16_t kCarriageReturn = 13;
}  // namespace

bool IsSpinCharacter(QChar c, QChar decimalPoint) {
    const char16_t u = c.unicode();
    if (u < kFirstPrintable) {
        return u != kCarriageReturn;
    }
    return (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || c == decimalPoint;
}

SpinTextField::SpinTextField(QWidget* parent) : QLineEdit(parent) {
    // Text comes in by typing (filtered) or pasting; dropped text would bypass both.
    setAcceptDrops(false);
}

bool SpinTextField::Accepts(QChar c) const {
    const QString point = QLocale().decimalPoint();
    return IsSpinCharacter(c, point.isEmpty() ? QChar(u'.') : point.front());
}

void SpinTextField::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && event->text().isEmpty()) {
        if (OnStep) {
            OnStep(key == Qt::Key_Up ? 1 : -1);
        }
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool isEnter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (text.isEmpty() && !isEnter) {
        // Not a character (arrows, Home, Delete...): the line edit's own handling.
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    for (const QChar c : text) {
        if (isEnter || !Accepts(c)) {
            if (OnRejected) {
                OnRejected();
            }
            return;
        }
    }
    if (text.size() == 1) {
        if (!OnCharacter || OnCharacter(text.front())) {
            QLineEdit::keyPressEvent(event);
        }
        return;
    }
    // Several characters in one event (a compose sequence): typed one after the other.
    for (const QChar c : text) {
        if ((!OnCharacter || OnCharacter(c)) && c.unicode() >= kFirstPrintable) {
            insert(QString(c));
        }
    }
}

void SpinTextField::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    for (const QChar c : commit) {
        if (!Accepts(c)) {
            if (OnRejected) {
                OnRejected();
            }
            event->accept();
            return;
        }
    }
    for (const QChar c : commit) {
        if (OnCharacter) {
            OnCharacter(c);
        }
    }
    QLineEdit::inputMethodEvent(event);
}

void SpinTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    if (OnEntered) {
        OnEntered();
    }
}

void SpinTextField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    // Switching to another window or opening a menu is not leaving the box.
    const bool toAnotherControl = reason != Qt::ActiveWindowFocusReason &&
                                  reason != Qt::PopupFocusReason &&
                                  reason != Qt::MenuBarFocusReason;
    if (toAnotherControl && OnLeft) {
        OnLeft();
    }
}

void SpinTextField::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        selectAll();
        if (OnLeftClick) {
            OnLeftClick();
        }
    }
}

}  // namespace tarvel::controls
