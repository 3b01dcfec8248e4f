// Panels and shapes: the lowered bevel, fill, centred caption and client size; the shape's fill.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <memory>

#include "controls/Panel.h"
#include "controls/Shape.h"

namespace {

using tarvel::controls::TPanel;
using tarvel::controls::TShape;

const QColor kHighlight(0xFF, 0xFF, 0xFF);
const QColor kShadow(0x80, 0x80, 0x80);

QPalette EdgePalette() {
    QPalette pal;
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::Dark, kShadow);
    return pal;
}

TEST(Panel, LoweredBevelIsShadowTopLeftAndHighlightBottomRight) {
    TPanel panel;
    panel.setPalette(EdgePalette());
    panel.resize(99, 13);
    panel.SetBevel(TPanel::Bevel::Lowered);
    panel.SetColor(QColor(0x22, 0x22, 0x00));
    const QImage img = panel.grab().toImage();
    for (int x = 0; x < 98; ++x) {
        EXPECT_EQ(img.pixelColor(x, 0), kShadow) << x;
        EXPECT_EQ(img.pixelColor(x, 12), kHighlight) << x;
    }
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(img.pixelColor(0, y), kShadow) << y;
        EXPECT_EQ(img.pixelColor(98, y), kHighlight) << y;
    }
    EXPECT_EQ(img.pixelColor(1, 1), QColor(0x22, 0x22, 0x00));
    EXPECT_EQ(img.pixelColor(97, 11), QColor(0x22, 0x22, 0x00));
}

TEST(Panel, ClientSizeExcludesTheBevel) {
    TPanel panel;
    panel.resize(71, 14);
    EXPECT_EQ(panel.ClientWidth(), 71);
    EXPECT_EQ(panel.ClientHeight(), 14);
    panel.SetBevel(TPanel::Bevel::Lowered);
    EXPECT_EQ(panel.ClientWidth(), 69);
    EXPECT_EQ(panel.ClientHeight(), 12);
    panel.resize(1, 1);
    EXPECT_EQ(panel.ClientWidth(), 0);
    EXPECT_EQ(panel.ClientHeight(), 0);
}

TEST(Panel, WithoutBevelIsFilledToTheEdge) {
    TPanel panel;
    panel.resize(40, 20);
    panel.SetColor(QColor(0x00, 0x00, 0x44));
    const QImage img = panel.grab().toImage();
    EXPECT_EQ(img.pixelColor(0, 0), QColor(0x00, 0x00, 0x44));
    EXPECT_EQ(img.pixelColor(39, 19), QColor(0x00, 0x00, 0x44));
}

TEST(Panel, CaptionIsCentredInTheFontColour) {
    TPanel panel;
    panel.resize(300, 32);
    panel.SetColor(Qt::black);
    panel.SetFontColor(QColor(0xFF, 0xFF, 0x00));
    panel.SetCaption("scanning ( 10 / 200 )");
    const QImage img = panel.grab().toImage();
    QRect ink;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y) != QColor(Qt::black)) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    ASSERT_TRUE(ink.isValid());
    EXPECT_LE(std::abs(ink.center().x() - 150), 3);
    EXPECT_LE(std::abs(ink.center().y() - 16), 3);
}

TEST(Panel, FontColourIsInheritedByChildren) {
    TPanel panel;
    panel.SetFontColor(QColor(0xFF, 0xFF, 0x00));
    QLabel label("SPEED", &panel);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0xFF, 0xFF, 0x00));
}

TEST(Shape, FillsItsWholeRectangleWithoutOutline) {
    TShape shape;
    shape.resize(60, 5);
    shape.SetBrushColor(QColor(0x00, 0x80, 0xFF));
    const QImage img = shape.grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(59, 4), QPoint(30, 2), QPoint(0, 4)}) {
        EXPECT_EQ(img.pixelColor(p), QColor(0x00, 0x80, 0xFF)) << p.x() << "," << p.y();
    }
    // A zero-width bar draws nothing and does not fail.
    shape.resize(0, 5);
    EXPECT_TRUE(shape.grab().isNull());
}

}  // namespace
