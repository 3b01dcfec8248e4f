// Faces to try the captions in: lines are 13 pixels with the baseline 11 below their top
// whatever the font file says. DejaVu reports 13 pixels for this size, Wine's Tahoma 11 (ascent 9,
// taken from its embedded bitmaps).
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QWidget;

namespace tarvel::test {

inline constexpr int kCaptionPixelSize = 11;

struct CaptionFont {
    const char* name;
    const char* family;
    const char* file;  // registered with the application when the system lacks the family
};

inline constexpr CaptionFont kCaptionFonts[] = {
    {"DejaVu Sans", "DejaVu Sans", nullptr},
    {"Wine Tahoma", "Tahoma", "/usr/share/wine/fonts/tahoma.ttf"},
};

// Gives `widget` the face at the caption size, drawn in whole pixels as the window draws it; false
// when the system cannot supply it.
bool UseCaptionFont(QWidget& widget, const CaptionFont& font);

// The bounding box of the pixels of `img` that differ from `background`.
QRect InkOver(const QImage& img, const QColor& background);

}  // namespace tarvel::test
