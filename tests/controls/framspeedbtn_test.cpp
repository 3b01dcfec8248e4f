// The framed speed button as the user sees and uses it: pixels of each look over a coloured
// container, the placement of glyph and caption, and the mouse handling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFont>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "controls/FramBtn.h"
#include "tests/controls/caption_font_helpers.h"

namespace {

using tarvel::controls::TFramSpeedBtn;
using State = TFramSpeedBtn::TButtonState;
using tarvel::test::CaptionFont;
using tarvel::test::kCaptionFonts;
using tarvel::test::kCaptionPixelSize;
using tarvel::test::UseCaptionFont;

const QColor kBackground(0x20, 0x40, 0x60);
const QColor kHighlight(0xFF, 0xFF, 0xFF);
const QColor kShadow(0x80, 0x80, 0x80);
const QColor kCaptionColour(0xFF, 0xFF, 0x00);
const QColor kGlyphColour(0x00, 0x00, 0xFF);

// A solid glyph whose bottom-left pixel is black, so that only that pixel is transparent.
QImage SolidGlyph() {
    QImage g(36, 12, QImage::Format_RGB32);
    g.fill(kGlyphColour);
    g.setPixel(0, 11, qRgb(0, 0, 0));
    return g;
}

enum class Frame { None, Raised, Sunken, Other };

Frame FrameOf(const QImage& img) {
    const int r = img.width() - 1;
    const int b = img.height() - 1;
    auto lineIs = [&](bool horizontal, int at, int from, int to, const QColor& c) {
        for (int i = from; i <= to; ++i) {
            const QColor px = horizontal ? img.pixelColor(i, at) : img.pixelColor(at, i);
            if (px != c) {
                return false;
            }
        }
        return true;
    };
    // The bottom and right lines own the two corners they share with top and left.
    auto edgeIs = [&](const QColor& topLeft, const QColor& bottomRight) {
        return lineIs(true, 0, 0, r - 1, topLeft) && lineIs(false, 0, 0, b - 1, topLeft) &&
               lineIs(true, b, 0, r, bottomRight) && lineIs(false, r, 0, b, bottomRight);
    };
    if (edgeIs(kHighlight, kShadow)) {
        return Frame::Raised;
    }
    if (edgeIs(kShadow, kHighlight)) {
        return Frame::Sunken;
    }
    if (lineIs(true, 0, 0, r, kBackground) && lineIs(false, 0, 0, b, kBackground) &&
        lineIs(true, b, 0, r, kBackground) && lineIs(false, r, 0, b, kBackground)) {
        return Frame::None;
    }
    return Frame::Other;
}

QRect BoundsOf(const QImage& img, const QColor& c) {
    QRect r;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y) == c) {
                r |= QRect(x, y, 1, 1);
            }
        }
    }
    return r;
}

// Pixels that are neither background nor frame colour: the caption's ink.
QRect CaptionInk(const QImage& img) {
    QRect r;
    for (int y = 1; y < img.height() - 1; ++y) {
        for (int x = 1; x < img.width() - 1; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c != kBackground && c != kGlyphColour && c.blue() < c.red()) {
                r |= QRect(x, y, 1, 1);
            }
        }
    }
    return r;
}

class FramSpeedBtnTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = std::make_unique<QWidget>();
        host_->resize(400, 120);
        QPalette pal = host_->palette();
        pal.setColor(QPalette::Window, kBackground);
        pal.setColor(QPalette::Light, kHighlight);
        pal.setColor(QPalette::Dark, kShadow);
        pal.setColor(QPalette::WindowText, kCaptionColour);
        host_->setPalette(pal);
        host_->setAutoFillBackground(true);
        QFont font("DejaVu Sans");
        font.setPixelSize(kCaptionPixelSize);
        host_->setFont(font);
    }

    TFramSpeedBtn& AddButton(const QRect& geometry, const QString& caption, bool glyph) {
        buttons_.push_back(std::make_unique<TFramSpeedBtn>(host_.get()));
        TFramSpeedBtn& b = *buttons_.back();
        b.setGeometry(geometry);
        b.SetLayout(TFramSpeedBtn::TButtonLayout::blGlyphBottom);
        b.SetSpacing(0);
        b.SetCaption(caption);
        if (glyph) {
            b.SetGlyph(SolidGlyph());
        }
        return b;
    }

    void Show() {
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }

    QImage Shot(const TFramSpeedBtn& b) const {
        return host_->grab(b.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    }

    static void Enter(TFramSpeedBtn& b) {
        const QPointF p(5, 5);
        QEnterEvent ev(p, b.mapTo(b.window(), p), b.mapToGlobal(p));
        QApplication::sendEvent(&b, &ev);
    }

    void TearDown() override {
        buttons_.clear();
        host_.reset();
    }

    std::unique_ptr<QWidget> host_;
    std::vector<std::unique_ptr<TFramSpeedBtn>> buttons_;
};

TEST_F(FramSpeedBtnTest, IdleAndHoveredLookTheSameWithOneRaisedFrame) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    Show();
    const QImage idle = Shot(b);
    EXPECT_EQ(FrameOf(idle), Frame::Raised);
    EXPECT_FALSE(b.Hot());
    EXPECT_FALSE(b.Hovered());

    Enter(b);
    EXPECT_TRUE(b.Hot());
    EXPECT_TRUE(b.Hovered());
    const QImage hovered = Shot(b);
    EXPECT_EQ(FrameOf(hovered), Frame::Raised);
    EXPECT_EQ(hovered, idle);
}

TEST_F(FramSpeedBtnTest, IsSeeThroughWhereNothingIsDrawn) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    Show();
    const QImage img = Shot(b);
    EXPECT_EQ(img.pixelColor(5, 5), kBackground);
    EXPECT_EQ(img.pixelColor(120, 28), kBackground);
    // The glyph's bottom-left pixel has the transparent colour: the container shows there.
    const QRect g = b.GlyphRect();
    EXPECT_EQ(img.pixelColor(g.left(), g.bottom()), kBackground);
    EXPECT_EQ(img.pixelColor(g.left() + 1, g.bottom()), kGlyphColour);
}

TEST_F(FramSpeedBtnTest, WorkedExampleGlyphAndCaptionPlacement) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    TFramSpeedBtn& stop = AddButton({10, 50, 127, 32}, "STOP", true);
    for (const CaptionFont& font : kCaptionFonts) {
        SCOPED_TRACE(font.name);
        ASSERT_TRUE(UseCaptionFont(*host_, font)) << "scripts/install-deps installs the fonts";
        Show();
        EXPECT_EQ(b.GlyphRect(), QRect(46, 16, 36, 12));
        EXPECT_EQ(b.CaptionRect().top(), 3);
        EXPECT_EQ(b.CaptionRect().bottom(), 15);
        const QImage img = Shot(b);
        EXPECT_EQ(BoundsOf(img, kGlyphColour), QRect(QPoint(46, 16), QPoint(81, 27)));
        const QRect ink = CaptionInk(img);
        ASSERT_TRUE(ink.isValid());
        EXPECT_GE(ink.top(), 3);
        EXPECT_LE(ink.bottom(), 15);
        // Capitals stand on the baseline, row 3 + 11, and are eight rows high in both faces.
        const QRect capitals = CaptionInk(Shot(stop));
        EXPECT_EQ(capitals.top(), 6);
        EXPECT_EQ(capitals.bottom(), 13);
        // Centred: as much room left of the text as right of it, give or take a pixel.
        EXPECT_LE(std::abs((ink.left() - 1) - (125 - ink.right())), 2);
    }
}

TEST_F(FramSpeedBtnTest, CaptionWithoutGlyphIsCentredVertically) {
    TFramSpeedBtn& b = AddButton({10, 10, 126, 32}, "RESET", false);
    for (const CaptionFont& font : kCaptionFonts) {
        SCOPED_TRACE(font.name);
        ASSERT_TRUE(UseCaptionFont(*host_, font));
        Show();
        EXPECT_EQ(b.CaptionRect().top(), 9);
        EXPECT_EQ(b.CaptionRect().bottom(), 21);
        const QRect ink = CaptionInk(Shot(b));
        ASSERT_TRUE(ink.isValid());
        // Capitals only: from the baseline (row 9 + 11) up, eight rows in both faces.
        EXPECT_EQ(ink.bottom(), 19);
        EXPECT_EQ(ink.top(), 12);
    }
}

TEST_F(FramSpeedBtnTest, NewCaptionOrGlyphRecentres) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    Show();
    const QRect wide = b.CaptionRect();
    b.SetCaption("PAUSE");
    const QRect narrow = b.CaptionRect();
    EXPECT_LT(narrow.width(), wide.width());
    EXPECT_LE(std::abs((narrow.left() - 1) - (125 - narrow.right() - 1)), 1);
    const QRect ink = CaptionInk(Shot(b));
    EXPECT_TRUE(narrow.contains(ink));
    // A wider glyph stays centred too.
    QImage wideGlyph(60, 12, QImage::Format_RGB32);
    wideGlyph.fill(kGlyphColour);
    b.SetGlyph(wideGlyph);
    EXPECT_EQ(b.GlyphRect(), QRect(1 + (125 - 60 + 1) / 2, 16, 60, 12));
}

TEST_F(FramSpeedBtnTest, PressedShowsSunkenFrameAndShiftsContent) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    Show();
    const QImage idle = Shot(b);
    const QRect idleGlyph = BoundsOf(idle, kGlyphColour);
    const QRect idleInk = CaptionInk(idle);

    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(60, 16));
    EXPECT_EQ(b.State(), State::bsDown);
    EXPECT_TRUE(b.Pressing());
    const QImage pressed = Shot(b);
    EXPECT_EQ(FrameOf(pressed), Frame::Sunken);
    EXPECT_EQ(BoundsOf(pressed, kGlyphColour), idleGlyph.translated(1, 1));
    EXPECT_EQ(CaptionInk(pressed), idleInk.translated(1, 1));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(60, 16));
}

TEST_F(FramSpeedBtnTest, DraggedOutShowsRaisedAtRestAndReleaseOutsideDoesNotClick) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    const QImage idle = Shot(b);

    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(60, 16));
    QTest::mouseMove(&b, QPoint(-30, 16));
    EXPECT_EQ(b.State(), State::bsUp);
    EXPECT_TRUE(b.Pressing());
    const QImage out = Shot(b);
    EXPECT_EQ(FrameOf(out), Frame::Raised);
    EXPECT_EQ(BoundsOf(out, kGlyphColour), BoundsOf(idle, kGlyphColour));

    QTest::mouseMove(&b, QPoint(60, 20));
    EXPECT_EQ(b.State(), State::bsDown);
    QTest::mouseMove(&b, QPoint(60, 40));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(60, 40));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(b.Pressing());
    EXPECT_EQ(b.State(), State::bsUp);
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, ReleaseOutsideWithoutMoveRestoresRaisedFrame) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "STOP", true);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(60, 16));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(200, 16));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, ClickOnReleaseInsideAfterReturningUp) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    State stateInHandler = State::bsDown;
    int clicks = 0;
    QObject::connect(&b, &TFramSpeedBtn::Click, [&] {
        stateInHandler = b.State();
        ++clicks;
    });
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(60, 16));
    EXPECT_EQ(clicks, 0);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(61, 17));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(stateInHandler, State::bsUp);
    EXPECT_FALSE(b.Pressing());
    // Pointer still over the button after the release: it is hot and hovered again.
    EXPECT_TRUE(b.Hovered());
    EXPECT_TRUE(b.Hot());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, DoubleClickGivesTwoClicks) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    // Through the window, as the window system delivers it: press, release, then a second press
    // that reaches the button as a double click, and its release.
    QTest::mouseDClick(host_->windowHandle(), Qt::LeftButton, {}, b.geometry().center());
    EXPECT_FALSE(b.Pressing());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(FramSpeedBtnTest, RightButtonNeitherPressesNorClicks) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    const QImage idle = Shot(b);
    QTest::mousePress(&b, Qt::RightButton, {}, QPoint(60, 16));
    EXPECT_EQ(b.State(), State::bsUp);
    EXPECT_FALSE(b.Pressing());
    EXPECT_EQ(Shot(b), idle);
    QTest::mouseRelease(&b, Qt::RightButton, {}, QPoint(60, 16));
    QTest::mouseClick(&b, Qt::MiddleButton, {}, QPoint(60, 16));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(FramSpeedBtnTest, HoveredWithoutHotDrawsNoFrameUntilTheNextMove) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    QWidget grabber(host_.get());
    grabber.setGeometry(300, 10, 20, 20);
    Show();
    // The enter notification arrives while another window holds the capture.
    grabber.grabMouse();
    Enter(b);
    grabber.releaseMouse();
    EXPECT_TRUE(b.Hovered());
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::None);
    // The next pointer move over the button makes it hot: the frame is back.
    QTest::mouseMove(&b, QPoint(40, 10));
    EXPECT_TRUE(b.Hot());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, LeaveClearsHoveredAndHot) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    Enter(b);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    EXPECT_FALSE(b.Hovered());
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, DisabledShowsNoFrameAndIgnoresTheMouse) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    b.setEnabled(false);
    const QImage img = Shot(b);
    EXPECT_EQ(b.State(), State::bsDisabled);
    EXPECT_EQ(FrameOf(img), Frame::None);
    EXPECT_FALSE(BoundsOf(img, kGlyphColour).isValid());  // embossed silhouette instead
    EXPECT_TRUE(BoundsOf(img, kShadow).isValid());
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(60, 16));
    EXPECT_EQ(clicks.count(), 0);
    b.setEnabled(true);
    EXPECT_EQ(b.State(), State::bsUp);
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

TEST_F(FramSpeedBtnTest, NeverTakesTheFocus) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "LOAD", true);
    Show();
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(60, 16));
    EXPECT_FALSE(b.hasFocus());
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
}

TEST_F(FramSpeedBtnTest, DragFromAnotherControlPassesOverTheButtonWithoutEffect) {
    TFramSpeedBtn& b = AddButton({10, 10, 127, 32}, "STOP", true);
    QWidget overview(host_.get());
    overview.setGeometry(200, 10, 150, 32);
    Show();
    QSignalSpy clicks(&b, &TFramSpeedBtn::Click);
    QWindow* w = host_->windowHandle();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(250, 20));
    QTest::mouseMove(w, QPoint(60, 20));  // over the button, the left button still held
    EXPECT_EQ(b.State(), State::bsUp);
    EXPECT_FALSE(b.Pressing());
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks.count(), 0);
    // Once the drag has ended, the next move over the button finds it hot.
    QTest::mouseMove(w, QPoint(62, 21));
    EXPECT_TRUE(b.Hot());
    EXPECT_TRUE(b.Hovered());
    EXPECT_EQ(FrameOf(Shot(b)), Frame::Raised);
}

// Neighbours overlap by one column: it shows the later button's left edge, also when only the
// earlier button repaints. Read from the window's backing store, which keeps what was really
// painted (grab() would render everything afresh).
TEST_F(FramSpeedBtnTest, OverlapColumnShowsTheLaterButtonsLeftEdge) {
    TFramSpeedBtn& first = AddButton({10, 10, 127, 32}, "PLAY / PAUSE", true);
    TFramSpeedBtn& second = AddButton({136, 10, 127, 32}, "STOP", true);
    Show();
    const int column = 136;  // first's last column, second's first
    auto columnColour = [&] {
        QScreen* screen = host_->screen();
        const QImage img = screen->grabWindow(host_->winId()).toImage();
        return img.pixelColor(column, 25);
    };
    ASSERT_FALSE(host_->screen()->grabWindow(host_->winId()).isNull());
    EXPECT_EQ(columnColour(), kHighlight);

    first.repaint();
    EXPECT_EQ(columnColour(), kHighlight);
    Enter(first);  // hot: first repaints alone
    first.repaint();
    EXPECT_EQ(columnColour(), kHighlight);

    QTest::mousePress(&second, Qt::LeftButton, {}, QPoint(60, 16));
    second.repaint();
    EXPECT_EQ(columnColour(), kShadow);
    first.repaint();
    EXPECT_EQ(columnColour(), kShadow);
    QTest::mouseRelease(&second, Qt::LeftButton, {}, QPoint(60, 16));
    second.repaint();
    EXPECT_EQ(columnColour(), kHighlight);
}

}  // namespace
