// Tarvel Player: one fixed-size window, no command line options.
#include <QApplication>

#include "app/DevicePixels.h"
#include "app/Main.h"

int main(int argc, char** argv) {
    tarvel::UseDevicePixels();
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title, the file dialog's included.
    QApplication::setApplicationName(QString::fromUtf8(tarvel::kAppTitle));

    tarvel::TForm1 Form1;
    if (Form1.SingleProc1.ShowMainForm()) {
        Form1.show();
    }
    return QApplication::exec();
}
