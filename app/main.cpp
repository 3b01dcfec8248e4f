// Tarvel Player: one fixed-size window, no command line options.
#include <QApplication>

#include "app/Main.h"

int main(int argc, char** argv) {
    // The window is laid out in device pixels (890 x 73): no high-DPI scaling.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    // The audio output library would otherwise catch SIGINT and SIGTERM for an event queue this
    // program never reads, and the player could then not be ended by a plain kill.
    qputenv("SDL_NO_SIGNAL_HANDLERS", "1");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tarvel::kAppTitle));
    QApplication::setApplicationDisplayName(QString::fromUtf8(tarvel::kAppTitle));

    tarvel::TForm1 Form1;
    if (Form1.SingleProc1.ShowMainForm()) {
        Form1.show();
    }
    return QApplication::exec();
}
