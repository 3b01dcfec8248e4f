// Text as the window's controls lay it out: lines 13 pixels high with the baseline 11 pixels
// below a line's top, the line metrics of 8-point Tahoma at 96 dpi that the layout was drawn for.
// Font files report other figures (Wine's Tahoma takes ascent 9 from its embedded bitmaps), so
// the controls place their text by these constants and take only the widths from the font.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>

class QFont;
class QPainter;

namespace tarvel::controls {

inline constexpr int kCaptionAscent = 11;
inline constexpr int kCaptionDescent = 2;
inline constexpr int kCaptionLineHeight = kCaptionAscent + kCaptionDescent;

// The text as one block: the widest line's advance by the number of lines times the line
// height; an empty text measures 0 x 0. Line breaks are only those in the text.
QSize CaptionBlockSize(const QFont& font, const QString& text);

// Draws the text from the top of `box`, each line placed in the box's width by the horizontal
// part of `alignment` (left, centred or right); nothing is clipped.
void DrawCaptionBlock(QPainter& painter, const QRect& box, Qt::Alignment alignment,
                      const QString& text);

}  // namespace tarvel::controls
