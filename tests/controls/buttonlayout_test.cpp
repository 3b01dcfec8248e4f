// Placement of glyph and caption inside a button's content rectangle.
#include <gtest/gtest.h>

#include <vector>

#include "controls/ButtonLayout.h"

namespace {

using tarvel::controls::PlaceButtonContent;
using Layout = tarvel::controls::TFramSpeedBtn::TButtonLayout;

struct Case {
    const char* name;
    QSize button;  // the whole button; content is its inside less a one-pixel frame
    QSize glyph;
    QSize caption;
    int spacing;
    QPoint offset;
    QRect expectGlyph;
    QRect expectCaption;
};

TEST(ButtonLayout, GlyphBelowCaptionCentredWithMarginMinusOne) {
    const std::vector<Case> cases = {
        // 127 x 32 with a 36 x 12 glyph and a 13-pixel caption: caption rows 3..15, glyph rows
        // 16..27 and columns 46..81.
        {"transport button",
         {127, 32},
         {36, 12},
         {72, 13},
         0,
         {0, 0},
         {46, 16, 36, 12},
         {28, 3, 72, 13}},
        {"transport button pressed",
         {127, 32},
         {36, 12},
         {72, 13},
         0,
         {1, 1},
         {47, 17, 36, 12},
         {29, 4, 72, 13}},
        // No glyph: the caption alone is centred, rows 9..21.
        {"caption only", {126, 32}, {0, 0}, {38, 13}, 0, {0, 0}, {63, 31, 0, 0}, {44, 9, 38, 13}},
        // No caption: the glyph alone is centred, spacing ignored.
        {"glyph only", {127, 32}, {36, 12}, {0, 0}, 4, {0, 0}, {46, 10, 36, 12}, {64, 10, 0, 0}},
        // Spacing counts only when both are present.
        {"spacing 4", {127, 32}, {36, 12}, {72, 13}, 4, {0, 0}, {46, 18, 36, 12}, {28, 1, 72, 13}},
        // Odd leftover: (W - w + 1) div 2 rounds the extra pixel to the right.
        {"odd widths", {128, 38}, {36, 12}, {71, 13}, 0, {0, 0}, {46, 19, 36, 12}, {29, 6, 71, 13}},
        // A caption wider than the button starts left of the content (division toward zero).
        {"caption too wide",
         {40, 32},
         {0, 0},
         {60, 13},
         0,
         {0, 0},
         {20, 31, 0, 0},
         {-9, 9, 60, 13}},
        {"negative spacing counts as 0",
         {127, 32},
         {36, 12},
         {72, 13},
         -3,
         {0, 0},
         {46, 16, 36, 12},
         {28, 3, 72, 13}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect content(1, 1, c.button.width() - 2, c.button.height() - 2);
        const auto p = PlaceButtonContent(content, c.glyph, c.caption, Layout::blGlyphBottom, -1,
                                          c.spacing, c.offset);
        if (!c.glyph.isEmpty()) {
            EXPECT_EQ(p.glyph, c.expectGlyph);
        }
        EXPECT_EQ(p.caption, c.expectCaption);
    }
}

TEST(ButtonLayout, OtherLayoutsKeepGlyphAndCaptionApartAndInside) {
    const QRect content(1, 1, 125, 30);
    const QSize glyph(36, 12);
    const QSize caption(50, 13);
    const int spacing = 4;
    struct Expect {
        Layout layout;
        bool horizontal;
        bool glyphFirst;
    };
    for (const Expect& e :
         {Expect{Layout::blGlyphLeft, true, true}, Expect{Layout::blGlyphRight, true, false},
          Expect{Layout::blGlyphTop, false, true}, Expect{Layout::blGlyphBottom, false, false}}) {
        SCOPED_TRACE(static_cast<int>(e.layout));
        const auto p = PlaceButtonContent(content, glyph, caption, e.layout, -1, spacing, {0, 0});
        EXPECT_TRUE(content.contains(p.glyph));
        EXPECT_TRUE(content.contains(p.caption));
        const QRect& first = e.glyphFirst ? p.glyph : p.caption;
        const QRect& second = e.glyphFirst ? p.caption : p.glyph;
        if (e.horizontal) {
            EXPECT_EQ(second.left() - first.right() - 1, spacing);
        } else {
            EXPECT_EQ(second.top() - first.bottom() - 1, spacing);
        }
        // Glyph and caption together are centred: equal space on both sides, give or take one.
        const QRect both = p.glyph | p.caption;
        const int before = e.horizontal ? both.left() - content.left() : both.top() - content.top();
        const int after =
            e.horizontal ? content.right() - both.right() : content.bottom() - both.bottom();
        EXPECT_LE(std::abs(before - after), 1);
    }
}

TEST(ButtonLayout, FixedMarginMeasuresFromTheGlyphSideEdge) {
    const QRect content(1, 1, 125, 30);
    const auto bottom =
        PlaceButtonContent(content, {36, 12}, {50, 13}, Layout::blGlyphBottom, 2, 0, {0, 0});
    EXPECT_EQ(content.bottom() - bottom.glyph.bottom(), 2);
    const auto left =
        PlaceButtonContent(content, {36, 12}, {50, 13}, Layout::blGlyphLeft, 5, 0, {0, 0});
    EXPECT_EQ(left.glyph.left() - content.left(), 5);
}

}  // namespace
