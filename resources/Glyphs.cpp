// The seven button glyphs as pixel art: '.' black (the transparent colour on the buttons),
// 'Y' yellow, 'y' the darker yellow of slanting edges.
#include <array>
#include <string_view>

#include "resources/Images.h"

namespace tarvel::resources {

namespace {

constexpr QRgb kBlack = qRgb(0x00, 0x00, 0x00);
constexpr QRgb kYellow = qRgb(0xFF, 0xFF, 0x00);
constexpr QRgb kEdgeYellow = qRgb(0xB0, 0xB0, 0x00);

using GlyphRows = std::array<std::string_view, kGlyphHeight>;

constexpr std::array<GlyphRows, kGlyphCount> kGlyphs = {{
    {
        // 0: play triangle, slash and pause bars (PLAY / PAUSE, idle)
        "....................................",
        "...................y................",
        "........Yy.........Y.YYY..YYY.......",
        "........YYY.......Y..YYY..YYY.......",
        "........YYYYy.....Y..YYY..YYY.......",
        "........YYYYYYy..Y...YYY..YYY.......",
        "........YYYYYYy..Y...YYY..YYY.......",
        "........YYYYy...Y....YYY..YYY.......",
        "........YYY.....Y....YYY..YYY.......",
        "........Yy.....Y.....YYY..YYY.......",
        "...............y....................",
        "....................................",
    },
    {
        // 1: play triangle (PLAY)
        "....................................",
        "....................................",
        "..............Yy....................",
        "..............YYYy..................",
        "..............YYYYYy................",
        "..............YYYYYYY...............",
        "..............YYYYYYY...............",
        "..............YYYYYy................",
        "..............YYYy..................",
        "..............Yy....................",
        "....................................",
        "....................................",
    },
    {
        // 2: pause bars, 3 wide, 3 apart, 8 high (PAUSE)
        "....................................",
        "....................................",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "..............YYY...YYY.............",
        "....................................",
        "....................................",
    },
    {
        // 3: 8 x 8 square (STOP)
        "....................................",
        "....................................",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "..............YYYYYYYY..............",
        "....................................",
        "....................................",
    },
    {
        // 4: loop of two curved arrows (REPEAT PLAY)
        "....................Y...............",
        ".....................Y..............",
        "...........yYYYYYYYYYYY.............",
        "..........yY.........Y..............",
        "..........Y.........Y....Y..........",
        "..........Y..............Y..........",
        "..........Y....Y.........Y..........",
        "..............Y.........Yy..........",
        ".............YYYYYYYYYYYy...........",
        "..............Y.....................",
        "...............Y....................",
        "....................................",
    },
    {
        // 5: straight arrow (SINGLE PLAY)
        "....................................",
        "....................................",
        ".....................Yy.............",
        ".....................YYy............",
        ".....................YYYY...........",
        ".........YYYYYYYYYYYYYYYYYy.........",
        ".........YYYYYYYYYYYYYYYYYy.........",
        ".....................YYYY...........",
        ".....................YYy............",
        ".....................Yy.............",
        "....................................",
        "....................................",
    },
    {
        // 6: disc of diameter 10 with a hole (LOAD)
        "....................................",
        "...............yYYYYy...............",
        "..............yYYYYYYy..............",
        ".............yYYYYYYYYy.............",
        ".............YYYYYYYYYY.............",
        ".............YYYY..YYYY.............",
        ".............YYYY..YYYY.............",
        ".............YYYYYYYYYY.............",
        ".............yYYYYYYYYy.............",
        "..............yYYYYYYy..............",
        "...............yYYYYy...............",
        "....................................",
    },
}};

constexpr bool RowsHaveGlyphWidth() {
    for (const GlyphRows& rows : kGlyphs) {
        for (std::string_view row : rows) {
            if (row.size() != static_cast<std::size_t>(kGlyphWidth)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(RowsHaveGlyphWidth(), "every glyph row is kGlyphWidth characters");

QRgb ColourOf(char c) {
    switch (c) {
        case 'Y':
            return kYellow;
        case 'y':
            return kEdgeYellow;
        default:
            return kBlack;
    }
}

}  // namespace

QImage Glyph(int index) {
    if (index < 0 || index >= kGlyphCount) {
        return {};
    }
    QImage image(kGlyphWidth, kGlyphHeight, QImage::Format_RGB32);
    const GlyphRows& rows = kGlyphs[static_cast<std::size_t>(index)];
    for (int y = 0; y < kGlyphHeight; ++y) {
        const std::string_view row = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < kGlyphWidth; ++x) {
            image.setPixel(x, y, ColourOf(row[static_cast<std::size_t>(x)]));
        }
    }
    return image;
}

}  // namespace tarvel::resources
