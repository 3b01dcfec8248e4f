// The classic one-pixel 3-D edge around a rectangle, in the palette's button colours.
#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>

class QPainter;

namespace tarvel::controls {

enum class EdgeKind {
    Raised,  // highlight top and left, shadow bottom and right
    Sunken,  // shadow top and left, highlight bottom and right
};

// The colours the edges use: Light is the button highlight, Dark the button shadow.
QColor EdgeHighlight(const QPalette& palette);
QColor EdgeShadow(const QPalette& palette);

// Draws the edge on the outermost pixels of `rect` (right and bottom exclusive, like QRect's
// width/height); the inside is left untouched.
void DrawEdge(QPainter& painter, const QRect& rect, EdgeKind kind, const QPalette& palette);

}  // namespace tarvel::controls
