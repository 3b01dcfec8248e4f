// Centres a top-level window's frame (title bar and borders included) on the primary screen. The
// frame is the window manager's and is known only some time after the window has been mapped,
// so the window is first placed with its client area centred and moved once the frame is seen.
#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

namespace tarvel {

class FrameCentring : public QObject {
  public:
    explicit FrameCentring(QWidget& window);

    // Before the first show: centres the client area, the best guess without a frame.
    void PlaceBeforeShow();
    // After the first show: watches for the frame and centres it once it is known. A window that
    // never gets a frame keeps the first placement.
    void Start();

  private:
    void Check();

    QWidget& window_;
    QTimer poll_;
    int checksLeft_ = 0;
};

}  // namespace tarvel
