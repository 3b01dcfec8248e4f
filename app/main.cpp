// Tarvel Player: one fixed-size window, no command line options.
#include <QApplication>
#include <QIcon>

#include "app/DevicePixels.h"
#include "app/Main.h"

int main(int argc, char** argv) {
    tarvel::UseDevicePixels();
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title, the file dialog's included.
    QApplication::setApplicationName(QString::fromUtf8(tarvel::kAppTitle));
    // Wayland's app id: the desktop finds the menu entry and its icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(TARVEL_APP_ID));
    // X11 desktops show the window's own icon; the installed theme icon serves when present.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(TARVEL_APP_ID)));

    tarvel::TForm1 Form1;
    if (Form1.SingleProc1.ShowMainForm()) {
        Form1.show();
    }
    return QApplication::exec();
}
