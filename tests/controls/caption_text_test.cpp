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
