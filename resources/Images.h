// The window's pictures, compiled into the program.
#pragma once

#include <QImage>

namespace tarvel::resources {

inline constexpr int kGlyphCount = 7;
inline constexpr int kGlyphWidth = 36;
inline constexpr int kGlyphHeight = 12;

// Button glyph `index` (0..6): yellow symbol on black, 36 x 12. A null image for a bad index.
QImage Glyph(int index);
// The background picture decoded with libjpeg from the embedded JPEG (1018 x 110); a null image
// if it cannot be decoded.
QImage Background();
// Decodes any JPEG held in memory with libjpeg; a null image on failure (never aborts).
QImage DecodeJpeg(const QByteArray& data);

}  // namespace tarvel::resources
