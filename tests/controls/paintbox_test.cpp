// The paint box: its owner's painting and the mouse reports, moves outside included.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "controls/PaintBox.h"

namespace {

using tarvel::controls::TPaintBox;

class PaintBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = std::make_unique<QWidget>();
        host_->resize(800, 60);
        box_ = std::make_unique<TPaintBox>(host_.get());
        box_->setGeometry(44, 1, 712, 30);
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }
    void TearDown() override {
        box_.reset();
        host_.reset();
    }
    std::unique_ptr<QWidget> host_;
    std::unique_ptr<TPaintBox> box_;
};

TEST_F(PaintBoxTest, PaintsThroughTheOwnersHandler) {
    int calls = 0;
    box_->OnPaint = [&](QPainter& p) {
        ++calls;
        p.fillRect(QRect(0, 0, 10, 30), QColor(0x11, 0x55, 0x11));
    };
    const QImage img = box_->grab().toImage();
    EXPECT_GE(calls, 1);
    EXPECT_EQ(img.pixelColor(5, 15), QColor(0x11, 0x55, 0x11));
}

TEST_F(PaintBoxTest, WithoutHandlerPaintsNothingAndDoesNotFail) {
    box_->OnPaint = nullptr;
    EXPECT_FALSE(box_->grab().isNull());
}

TEST_F(PaintBoxTest, ReportsPressMoveAndReleaseWithButtonAndPosition) {
    QSignalSpy downs(box_.get(), &TPaintBox::MouseDown);
    QSignalSpy moves(box_.get(), &TPaintBox::MouseMove);
    QSignalSpy ups(box_.get(), &TPaintBox::MouseUp);

    QTest::mousePress(box_.get(), Qt::RightButton, {}, QPoint(100, 12));
    ASSERT_EQ(downs.count(), 1);
    EXPECT_EQ(downs.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(downs.at(0).at(1).toInt(), 100);
    EXPECT_EQ(downs.at(0).at(2).toInt(), 12);

    // Dragged beyond the left edge: still reported, with a negative x.
    QTest::mouseMove(box_.get(), QPoint(-25, 12));
    ASSERT_GE(moves.count(), 1);
    const auto last = moves.takeLast();
    EXPECT_TRUE(last.at(0).value<Qt::MouseButtons>() & Qt::RightButton);
    EXPECT_EQ(last.at(1).toInt(), -25);

    QTest::mouseRelease(box_.get(), Qt::RightButton, {}, QPoint(-25, 12));
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(ups.at(0).at(1).toInt(), -25);
}

TEST_F(PaintBoxTest, DragOutsideThroughTheWindowStaysWithTheBox) {
    QSignalSpy moves(box_.get(), &TPaintBox::MouseMove);
    QSignalSpy ups(box_.get(), &TPaintBox::MouseUp);
    QWindow* w = host_->windowHandle();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(144, 10));
    QTest::mouseMove(w, QPoint(20, 40));  // over the host, left of and below the box
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(20, 40));
    ASSERT_GE(moves.count(), 1);
    EXPECT_EQ(moves.last().at(1).toInt(), 20 - 44);
    EXPECT_EQ(moves.last().at(2).toInt(), 40 - 1);
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups.at(0).at(1).toInt(), 20 - 44);
}

TEST_F(PaintBoxTest, ReportsMovesWithoutAHeldButton) {
    QSignalSpy moves(box_.get(), &TPaintBox::MouseMove);
    QTest::mouseMove(host_->windowHandle(), QPoint(300, 10));
    ASSERT_GE(moves.count(), 1);
    EXPECT_EQ(moves.last().at(0).value<Qt::MouseButtons>(), Qt::NoButton);
    EXPECT_EQ(moves.last().at(1).toInt(), 300 - 44);
}

}  // namespace
