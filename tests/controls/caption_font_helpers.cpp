#include "tests/controls/caption_font_helpers.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QWidget>

namespace tarvel::test {

bool UseCaptionFont(QWidget& widget, const CaptionFont& font) {
    if (font.file != nullptr && !QFontDatabase::families().contains(font.family)) {
        QFontDatabase::addApplicationFont(font.file);
    }
    QFont f(font.family);
    f.setPixelSize(kCaptionPixelSize);
    // Whole pixels, as the window draws its captions.
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    widget.setFont(f);
    return QFontInfo(f).family() == font.family;
}

QRect InkOver(const QImage& img, const QColor& background) {
    QRect ink;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y) != background) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

}  // namespace tarvel::test
