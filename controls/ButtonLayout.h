// Where a button places its glyph and caption inside its content rectangle.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include "controls/FramBtn.h"

namespace tarvel::controls {

struct ButtonContentPlacement {
    QRect glyph;    // empty size when there is no glyph
    QRect caption;  // the measured caption box; empty size when there is no caption
};

// `content` is the button less its one-pixel frame; `offset` is (1, 1) while the button is down.
// Margin -1 centres glyph and caption together; a negative spacing counts as 0.
ButtonContentPlacement PlaceButtonContent(const QRect& content, QSize glyph, QSize caption,
                                          TFramSpeedBtn::TButtonLayout layout, int margin,
                                          int spacing, QPoint offset);

}  // namespace tarvel::controls
