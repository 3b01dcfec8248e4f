#include "controls/ButtonLayout.h"

#include <algorithm>

namespace tarvel::controls {

namespace {
constexpr int kCentred = -1;  // Margin value that centres glyph and caption together

// Integer division truncating toward zero, as the placement arithmetic is defined with it
// (C++ division already does; named so the formulas read as stated).
int Div(int a, int b) {
    return a / b;
}
}  // namespace

ButtonContentPlacement PlaceButtonContent(const QRect& content, QSize glyph, QSize caption,
                                          TFramSpeedBtn::TButtonLayout layout, int margin,
                                          int spacing, QPoint offset) {
    using Layout = TFramSpeedBtn::TButtonLayout;
    const int W = content.width();
    const int H = content.height();
    const int gw = glyph.width();
    const int gh = glyph.height();
    const int tw = caption.width();
    const int th = caption.height();
    const int space = (tw == 0 || gw == 0) ? 0 : std::max(0, spacing);

    QPoint g;
    QPoint t;
    const bool vertical = layout == Layout::blGlyphTop || layout == Layout::blGlyphBottom;
    if (vertical) {
        g.setX(Div(W - gw + 1, 2));
        t.setX(Div(W - tw + 1, 2));
        const int m = margin == kCentred ? Div(H - (gh + space + th) + 1, 2) : margin;
        if (layout == Layout::blGlyphBottom) {
            g.setY(H - m - gh);
            t.setY(g.y() - space - th);
        } else {
            g.setY(m);
            t.setY(g.y() + gh + space);
        }
    } else {
        g.setY(Div(H - gh + 1, 2));
        t.setY(Div(H - th + 1, 2));
        const int m = margin == kCentred ? Div(W - (gw + space + tw) + 1, 2) : margin;
        if (layout == Layout::blGlyphRight) {
            g.setX(W - m - gw);
            t.setX(g.x() - space - tw);
        } else {
            g.setX(m);
            t.setX(g.x() + gw + space);
        }
    }
    const QPoint shift = content.topLeft() + offset;
    return {QRect(g + shift, glyph), QRect(t + shift, caption)};
}

}  // namespace tarvel::controls
