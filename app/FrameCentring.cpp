#include "app/FrameCentring.h"

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QWidget>
#include <QWindow>

namespace tarvel {

namespace {
constexpr int kPollMs = 10;
constexpr int kPollChecks = 300;  // three seconds for the window manager to frame the window

QRect PrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect();
}

// Where a frame of `frame` size stands centred on `screen`; halves of a pixel go up and left.
QPoint CentredFramePosition(const QRect& screen, QSize frame) {
    return screen.topLeft() +
           QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2);
}
}  // namespace

FrameCentring::FrameCentring(QWidget& window) : window_(window) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Check(); });
}

void FrameCentring::PlaceBeforeShow() {
    const QRect screen = PrimaryScreen();
    if (!screen.isEmpty()) {
        window_.move(CentredFramePosition(screen, window_.size()));
    }
}

void FrameCentring::Start() {
    checksLeft_ = kPollChecks;
    poll_.start();
    Check();
}

void FrameCentring::Check() {
    QWindow* handle = window_.windowHandle();
    const QRect screen = PrimaryScreen();
    if (handle == nullptr || screen.isEmpty() || --checksLeft_ < 0) {
        poll_.stop();
        return;
    }
    if (handle->frameMargins().isNull()) {
        return;  // not framed yet
    }
    poll_.stop();
    handle->setFramePosition(CentredFramePosition(screen, handle->frameGeometry().size()));
}

}  // namespace tarvel
