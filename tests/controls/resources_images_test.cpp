// The compiled-in pictures: the seven glyphs' shapes and the background's size and look, and the
// JPEG decoder's refusal of broken data.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QRect>
#include <vector>

#include "resources/Images.h"

namespace {

using tarvel::resources::Background;
using tarvel::resources::DecodeJpeg;
using tarvel::resources::Glyph;
using tarvel::resources::kGlyphCount;
using tarvel::resources::kGlyphHeight;
using tarvel::resources::kGlyphWidth;

bool IsBlack(QRgb c) {
    return qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 0;
}
bool IsYellow(QRgb c) {
    return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 0;
}
// Yellow or the darker edge yellow: red equals green, no blue.
bool IsAnyYellow(QRgb c) {
    return !IsBlack(c) && qRed(c) == qGreen(c) && qBlue(c) == 0;
}

QRect InkBounds(const QImage& img) {
    QRect r;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!IsBlack(img.pixel(x, y))) {
                r |= QRect(x, y, 1, 1);
            }
        }
    }
    return r;
}

// Rows of fully yellow columns: each entry is a run [first, last] of columns that are yellow
// on every row of `rows`.
std::vector<std::pair<int, int>> SolidColumnRuns(const QImage& img, int top, int bottom) {
    std::vector<std::pair<int, int>> runs;
    int start = -1;
    for (int x = 0; x <= img.width(); ++x) {
        bool solid = x < img.width();
        for (int y = top; solid && y <= bottom; ++y) {
            solid = IsYellow(img.pixel(x, y));
        }
        if (solid && start < 0) {
            start = x;
        } else if (!solid && start >= 0) {
            runs.emplace_back(start, x - 1);
            start = -1;
        }
    }
    return runs;
}

TEST(Glyphs, EveryGlyphIsYellowOnBlackWithBlackBottomLeft) {
    for (int i = 0; i < kGlyphCount; ++i) {
        SCOPED_TRACE(i);
        const QImage g = Glyph(i);
        ASSERT_EQ(g.size(), QSize(kGlyphWidth, kGlyphHeight));
        EXPECT_TRUE(IsBlack(g.pixel(0, kGlyphHeight - 1)));
        int yellow = 0;
        for (int y = 0; y < g.height(); ++y) {
            for (int x = 0; x < g.width(); ++x) {
                const QRgb c = g.pixel(x, y);
                EXPECT_TRUE(IsBlack(c) || IsAnyYellow(c)) << x << "," << y;
                yellow += IsYellow(c) ? 1 : 0;
            }
        }
        EXPECT_GT(yellow, 0);
    }
}

TEST(Glyphs, GlyphsDifferFromEachOther) {
    for (int i = 0; i < kGlyphCount; ++i) {
        for (int j = i + 1; j < kGlyphCount; ++j) {
            EXPECT_NE(Glyph(i), Glyph(j)) << i << " vs " << j;
        }
    }
}

TEST(Glyphs, BadIndexGivesNullImage) {
    for (int i : {-1, kGlyphCount, 1000, -1000}) {
        EXPECT_TRUE(Glyph(i).isNull()) << i;
    }
}

TEST(Glyphs, PauseIsTwoBarsThreeWideThreeApartEightHigh) {
    const QImage g = Glyph(2);
    const QRect ink = InkBounds(g);
    ASSERT_EQ(ink.height(), 8);
    const auto runs = SolidColumnRuns(g, ink.top(), ink.bottom());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].second - runs[0].first + 1, 3);
    EXPECT_EQ(runs[1].second - runs[1].first + 1, 3);
    EXPECT_EQ(runs[1].first - runs[0].second - 1, 3);
    EXPECT_EQ(ink, QRect(runs[0].first, ink.top(), 9, 8));
}

TEST(Glyphs, StopIsFilledEightByEightSquare) {
    const QImage g = Glyph(3);
    const QRect ink = InkBounds(g);
    ASSERT_EQ(ink.size(), QSize(8, 8));
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = ink.left(); x <= ink.right(); ++x) {
            EXPECT_TRUE(IsYellow(g.pixel(x, y))) << x << "," << y;
        }
    }
}

TEST(Glyphs, LoadIsDiscOfDiameterTenWithHole) {
    const QImage g = Glyph(6);
    const QRect ink = InkBounds(g);
    ASSERT_EQ(ink.size(), QSize(10, 10));
    const QPoint c = ink.center();  // upper-left of the four middle pixels
    EXPECT_TRUE(IsBlack(g.pixel(c)));
    // Solid ring around the hole: the middle row is yellow at both sides of the hole.
    EXPECT_TRUE(IsYellow(g.pixel(ink.left(), c.y())));
    EXPECT_TRUE(IsYellow(g.pixel(ink.right(), c.y())));
    // Round: the corners of the bounding square are not yellow.
    EXPECT_FALSE(IsYellow(g.pixel(ink.topLeft())));
    EXPECT_FALSE(IsYellow(g.pixel(ink.bottomRight())));
}

TEST(Glyphs, PlayTrianglePointsRightAndIsCentred) {
    const QImage g = Glyph(1);
    const QRect ink = InkBounds(g);
    ASSERT_TRUE(ink.isValid());
    // The left column is the triangle's full base, the right column only its tip.
    auto inkInColumn = [&](int x) {
        int n = 0;
        for (int y = 0; y < g.height(); ++y) {
            n += IsBlack(g.pixel(x, y)) ? 0 : 1;
        }
        return n;
    };
    EXPECT_EQ(inkInColumn(ink.left()), ink.height());
    EXPECT_LT(inkInColumn(ink.right()), ink.height() / 2);
    const int leftSpace = ink.left();
    const int rightSpace = kGlyphWidth - 1 - ink.right();
    EXPECT_LE(std::abs(leftSpace - rightSpace), 1);
}

// --- background picture -----------------------------------------------------------------------

double Brightness(const QImage& img, int row) {
    double sum = 0;
    for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, row);
        sum += c.red() + c.green() + c.blue();
    }
    return sum / (3.0 * img.width());
}

TEST(BackgroundPicture, DecodesToTheStatedSize) {
    const QImage bg = Background();
    ASSERT_FALSE(bg.isNull());
    EXPECT_EQ(bg.size(), QSize(1018, 110));
}

TEST(BackgroundPicture, HasTheGlossyBarLook) {
    const QImage bg = Background();
    ASSERT_FALSE(bg.isNull());
    // Lavender at the very top: light, blue above green.
    const QColor top = bg.pixelColor(bg.width() / 2, 1);
    EXPECT_GT(top.lightness(), 150);
    EXPECT_GT(top.blue(), top.green());
    // Dark navy just above the visible part.
    const QColor navy = bg.pixelColor(bg.width() / 2, 36);
    EXPECT_LT(navy.lightness(), 60);
    EXPECT_GT(navy.blue(), navy.red());
    // A thin bright line around rows 38..40 stands out from its neighbours.
    double line = 0;
    for (int y = 38; y <= 40; ++y) {
        line = std::max(line, Brightness(bg, y));
    }
    EXPECT_GT(line, Brightness(bg, 36) + 60);
    EXPECT_GT(line, Brightness(bg, 45) + 40);
    // Steel blue below, darkening steadily towards the bottom edge.
    const QColor steel = bg.pixelColor(bg.width() / 2, 45);
    EXPECT_GT(steel.blue(), steel.red() + 40);
    double previous = Brightness(bg, 44);
    for (int y = 54; y < bg.height(); y += 10) {
        const double b = Brightness(bg, y);
        EXPECT_LT(b, previous) << "row " << y;
        previous = b;
    }
    EXPECT_LT(Brightness(bg, 109), Brightness(bg, 45) - 50);
}

// --- JPEG decoding of broken data -------------------------------------------------------------

QByteArray EncodeJpeg(const QImage& img) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG");
    return bytes;
}

TEST(JpegDecoding, DecodesAValidPicture) {
    QImage src(40, 24, QImage::Format_RGB32);
    src.fill(QColor(200, 40, 40));
    const QByteArray bytes = EncodeJpeg(src);
    if (bytes.isEmpty()) {
        GTEST_SKIP() << "Qt's JPEG writer plugin is missing";
    }
    const QImage out = DecodeJpeg(bytes);
    ASSERT_EQ(out.size(), src.size());
    const QColor c = out.pixelColor(20, 12);
    EXPECT_NEAR(c.red(), 200, 8);
    EXPECT_NEAR(c.green(), 40, 8);
    EXPECT_NEAR(c.blue(), 40, 8);
}

TEST(JpegDecoding, BrokenDataGivesNullImage) {
    QFile file(":/tarvel/background.jpg");
    Background();  // registers the compiled-in resources
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    ASSERT_GT(good.size(), 1000);

    QByteArray corruptHeader = good;
    for (int i = 2; i < 40; ++i) {
        corruptHeader[i] = static_cast<char>(0xA5);
    }
    QByteArray corruptBody = good;
    for (qsizetype i = good.size() / 2; i < good.size() / 2 + 300; ++i) {
        corruptBody[i] = static_cast<char>(0xFF);
    }
    struct Case {
        const char* name;
        QByteArray data;
    };
    const std::vector<Case> cases = {
        {"empty", QByteArray()},
        {"one byte", QByteArray(1, '\xFF')},
        {"start marker only", QByteArray("\xFF\xD8", 2)},
        {"not a jpeg", QByteArray("GIF89a and some more bytes to read through")},
        {"truncated to a tenth", good.left(good.size() / 10)},
        {"truncated by half", good.left(good.size() / 2)},
        {"missing the last bytes", good.left(good.size() - 40)},
        {"corrupt header", corruptHeader},
        {"corrupt scan data", corruptBody},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(DecodeJpeg(c.data).isNull()) << c.name;
    }
    // The decoder is left usable after all those failures.
    EXPECT_FALSE(DecodeJpeg(good).isNull());
}

}  // namespace
