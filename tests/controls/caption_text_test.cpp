// Text lines as the window lays them out, in faces whose files report different line metrics:
// an auto-sized label and the panel caption.
#include <gtest/gtest.h>

#include <QWidget>

#include "controls/CaptionText.h"
#include "controls/Label.h"
#include "controls/Panel.h"
#include "tests/controls/caption_font_helpers.h"

namespace tarvel::controls {
namespace {

using test::CaptionFont;
using test::InkOver;
using test::kCaptionFonts;
using test::UseCaptionFont;

const QColor kBack(0x22, 0x22, 0x00);
const QColor kInk(0xFF, 0xFF, 0x00);

// A host in the face under test, with the label colours of the window.
struct Host {
    explicit Host(const CaptionFont& font) {
        widget.resize(200, 60);
        QPalette pal = widget.palette();
        pal.setColor(QPalette::Window, kBack);
        pal.setColor(QPalette::WindowText, kInk);
        widget.setPalette(pal);
        widget.setAutoFillBackground(true);
        available = UseCaptionFont(widget, font);
    }
    QImage Shot(const QRect& r) { return widget.grab(r).toImage(); }
    QWidget widget;
    bool available = false;
};

TEST(Label, AutoSizeIsTheTextBlockAndTheTextStartsAtTheTop) {
    for (const CaptionFont& font : kCaptionFonts) {
        SCOPED_TRACE(font.name);
        Host host(font);
        ASSERT_TRUE(host.available);
        TLabel label(&host.widget);
        label.setText("VOLUME");
        label.adjustSize();
        label.move(20, 10);
        EXPECT_EQ(label.size(), CaptionBlockSize(host.widget.font(), "VOLUME"));
        EXPECT_EQ(label.height(), 13);
        EXPECT_FALSE(label.autoFillBackground());
        const QRect ink = InkOver(host.Shot(QRect(0, 0, 200, 60)), kBack);
        // Capitals on rows 13..20: the label's top 10 plus 3, down to its baseline 21.
        EXPECT_EQ(ink.top(), 13);
        EXPECT_EQ(ink.bottom(), 20);
        EXPECT_GE(ink.left(), 20);
        EXPECT_LT(ink.right(), 20 + label.width());
    }
}

// A time label is 40 pixels wide: a five-digit time does not fit. Whatever its alignment, the
// label then shows the text's start, as a left-aligned label does; a text that fits keeps its
// alignment.
TEST(Label, TextWiderThanTheLabelKeepsItsStart) {
    for (const CaptionFont& font : kCaptionFonts) {
        SCOPED_TRACE(font.name);
        Host host(font);
        ASSERT_TRUE(host.available);
        const auto shot = [&](const char* text, Qt::Alignment alignment) {
            TLabel label(&host.widget);
            label.setGeometry(20, 10, 40, 13);
            label.setAlignment(alignment | Qt::AlignTop);
            label.setText(text);
            label.show();
            return host.Shot(QRect(20, 10, 40, 13));
        };
        ASSERT_GT(CaptionBlockSize(host.widget.font(), "29440.00").width(), 40);
        const QImage left = shot("29440.00", Qt::AlignLeft);
        EXPECT_EQ(shot("29440.00", Qt::AlignRight), left);
        EXPECT_EQ(shot("29440.00", Qt::AlignHCenter), left);
        EXPECT_LE(InkOver(left, kBack).left(), 1);
        // A text that fits, right-aligned, ends at the label's right edge.
        ASSERT_LE(CaptionBlockSize(host.widget.font(), "2.50").width(), 40);
        EXPECT_GE(InkOver(shot("2.50", Qt::AlignRight), kBack).right(), 40 - 2);
        EXPECT_GE(InkOver(shot("2.50", Qt::AlignLeft), kBack).left(), 0);
        EXPECT_NE(shot("2.50", Qt::AlignRight), shot("2.50", Qt::AlignLeft));
    }
}

TEST(Panel, CaptionLineIsCentredInsideTheBevel) {
    for (const CaptionFont& font : kCaptionFonts) {
        SCOPED_TRACE(font.name);
        Host host(font);
        ASSERT_TRUE(host.available);
        TPanel panel(&host.widget);
        panel.setGeometry(0, 0, 200, 32);
        panel.SetBevel(TPanel::Bevel::Lowered);
        panel.SetColor(Qt::black);
        panel.SetFontColor(kInk);
        panel.SetCaption("SCAN");
        const QImage img = panel.grab().toImage().copy(2, 2, 196, 28);
        const QRect ink = InkOver(img, Qt::black).translated(2, 2);
        // Line top 1 + (30 - 13) / 2 = 9; capitals on rows 12..19.
        EXPECT_EQ(ink.top(), 12);
        EXPECT_EQ(ink.bottom(), 19);
        EXPECT_LE(std::abs((ink.left() - 1) - (198 - ink.right())), 2);
    }
}

}  // namespace
}  // namespace tarvel::controls
