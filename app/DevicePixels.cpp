#include "app/DevicePixels.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace tarvel {

namespace {
// Settings through which a desktop or a user asks Qt to scale its windows or fonts.
constexpr const char* kScalingVariables[] = {
    "QT_SCALE_FACTOR",
    "QT_SCREEN_SCALE_FACTORS",
    "QT_AUTO_SCREEN_SCALE_FACTOR",
    "QT_DEVICE_PIXEL_RATIO",
    "QT_USE_PHYSICAL_DPI",
    "QT_FONT_DPI",
    "QT_SCALE_FACTOR_ROUNDING_POLICY",
};
}  // namespace

void UseDevicePixels() {
    for (const char* name : kScalingVariables) {
        qunsetenv(name);
    }
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // Styles size check marks and slider parts by the screen's resolution (Xft.dpi on X11);
    // 96 keeps them at the size the layout has room for.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
}

}  // namespace tarvel
