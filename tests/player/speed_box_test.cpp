// The speed box typed into with real key events: the typing rule, the colours, and when the tempo
// reaches the engine (counted by SpeedControl::TempoCalls).
#include <gtest/gtest.h>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <vector>

#include "tests/player/player_helpers.h"
#include "tests/support/CaseName.h"

namespace tarvel::test {
namespace {

const QColor kWhite{0xFF, 0xFF, 0xFF};
const QColor kPink{0xFF, 0x80, 0xC0};
const QColor kGrey{0xC0, 0xC0, 0xC0};

struct KeyStep {
    char key;
    const char* text;  // the box's text afterwards
    QColor color;      // its colour afterwards
    int tempoCalls;    // tempo calls made by this key
};

struct TypingCase {
    const char* name;
    const char* startText;
    bool selectAll;  // otherwise the caret stands at the end
    std::vector<KeyStep> steps;
};

class SpeedBox : public ::testing::TestWithParam<TypingCase> {
  protected:
    void SetUp() override {
        EnsureEngine();
        rig.host.show();
        rig.host.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.host));
        rig.SpinEdit1.Edit()->setFocus();
    }
    QLineEdit* edit() { return rig.SpinEdit1.Edit(); }

    PlayerRig rig;
};

TEST_P(SpeedBox, Typing) {
    const TypingCase& c = GetParam();
    rig.SpinEdit1.SetText(c.startText);
    if (c.selectAll) {
        rig.SpinEdit1.SelectAll();
    } else {
        edit()->deselect();
        edit()->end(false);
    }
    for (const KeyStep& step : c.steps) {
        const int before = rig.speed.TempoCalls();
        QTest::keyClick(edit(), step.key);
        EXPECT_EQ(rig.SpinEdit1.Text().toStdString(), step.text) << "after '" << step.key << "'";
        EXPECT_EQ(rig.SpinEdit1.Color(), step.color) << "after '" << step.key << "'";
        EXPECT_EQ(rig.speed.TempoCalls() - before, step.tempoCalls) << "after '" << step.key << "'";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpeedBox,
    ::testing::Values(
        TypingCase{"OneFiveZero",
                   "100",
                   true,
                   {{'1', "1", kGrey, 0}, {'5', "15", kGrey, 0}, {'0', "150", kWhite, 1}}},
        TypingCase{"SevenFive", "100", true, {{'7', "7", kGrey, 0}, {'5', "75", kWhite, 1}}},
        TypingCase{"ZeroAfterHundred", "100", false, {{'0', "1000", kPink, 0}}},
        TypingCase{"MinusCountsAsFifty", "100", true, {{'-', "-", kWhite, 1}}},
        TypingCase{"ZeroExtendsFortyToFourHundred", "40", false, {{'0', "400", kWhite, 1}}},
        TypingCase{"ZeroExtendsEightyAboveRange", "80", false, {{'0', "800", kPink, 0}}},
        TypingCase{"DigitAfterCompleteSpeedStartsAgain",
                   "150",
                   false,
                   {{'2', "2", kGrey, 0}, {'0', "20", kGrey, 0}, {'0', "200", kWhite, 1}}},
        TypingCase{"LoneZeroIsReplaced", "0", false, {{'6', "6", kGrey, 0}}},
        TypingCase{"AboveRangeIsReplaced", "1000", false, {{'9', "9", kGrey, 0}}},
        TypingCase{"FirstKeyIntoEmptyBox", "", false, {{'7', "7", kGrey, 0}}}),
    ::tarvel::test::CaseName());

TEST_F(SpeedBox, LeavingClampsOutOfRangeAndApplies) {
    rig.SpinEdit1.SetText("100");
    edit()->end(false);
    QTest::keyClick(edit(), '0');
    ASSERT_EQ(rig.SpinEdit1.Text(), "1000");
    const int before = rig.speed.TempoCalls();
    rig.other.setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.SpinEdit1.Text(), "400");
    EXPECT_EQ(rig.SpinEdit1.Color(), kWhite);
    EXPECT_EQ(rig.speed.TempoCalls() - before, 1);
}

TEST_F(SpeedBox, EnterAndLetterOnlyBeep) {
    rig.SpinEdit1.SetText("120");
    int beeps = 0;
    rig.SpinEdit1.OnBeep = [&] { ++beeps; };
    QSignalSpy changes(&rig.SpinEdit1, &controls::TSpinEdit::Change);
    const int before = rig.speed.TempoCalls();
    rig.SpinEdit1.SelectAll();
    QTest::keyClick(edit(), Qt::Key_Return);
    EXPECT_EQ(beeps, 1);
    QTest::keyClick(edit(), 'a');
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(rig.SpinEdit1.Text(), "120");
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(rig.speed.TempoCalls() - before, 0);
}

TEST_F(SpeedBox, BackspaceFollowsTheTypingRule) {
    rig.SpinEdit1.SetText("150");
    edit()->end(false);
    QTest::keyClick(edit(), Qt::Key_Backspace);
    EXPECT_EQ(rig.SpinEdit1.Text(), "");
    EXPECT_EQ(rig.SpinEdit1.Color(), kWhite);
    rig.SpinEdit1.SetText("45");
    edit()->end(false);
    QTest::keyClick(edit(), Qt::Key_Backspace);
    EXPECT_EQ(rig.SpinEdit1.Text(), "4");
}

TEST_F(SpeedBox, ArrowsAtLimitsAndOnEmptyBox) {
    rig.SpinEdit1.SetText("400");
    {
        QSignalSpy changes(&rig.SpinEdit1, &controls::TSpinEdit::Change);
        QTest::keyClick(edit(), Qt::Key_Up);
        EXPECT_EQ(rig.SpinEdit1.Text(), "400");
        EXPECT_EQ(changes.count(), 0);
    }
    rig.SpinEdit1.SetText("");
    int before = rig.speed.TempoCalls();
    QTest::keyClick(edit(), Qt::Key_Down);
    EXPECT_EQ(rig.SpinEdit1.Text(), "50");
    EXPECT_EQ(rig.speed.TempoCalls() - before, 1);
    rig.SpinEdit1.SetText("");
    before = rig.speed.TempoCalls();
    QTest::keyClick(edit(), Qt::Key_Up);
    EXPECT_EQ(rig.SpinEdit1.Text(), "51");
    EXPECT_EQ(rig.speed.TempoCalls() - before, 1);
}

TEST_F(SpeedBox, ResetMakesATempoCallOnlyWhenTheTextDiffers) {
    rig.SpinEdit1.SetText("100");
    int before = rig.speed.TempoCalls();
    rig.transport.FramSpeedBtn6Click();
    EXPECT_EQ(rig.speed.TempoCalls() - before, 0);
    rig.SpinEdit1.SetText("150");
    before = rig.speed.TempoCalls();
    rig.transport.FramSpeedBtn6Click();
    EXPECT_EQ(rig.SpinEdit1.Text(), "100");
    EXPECT_EQ(rig.speed.TempoCalls() - before, 1);
}

TEST_F(SpeedBox, ClickAndEntrySelectEverything) {
    rig.SpinEdit1.SetText("250");
    edit()->deselect();
    QTest::mouseClick(edit(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(edit()->selectedText(), "250");
    rig.other.setFocus();
    edit()->deselect();
    edit()->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(edit()->selectedText(), "250");
}

}  // namespace
}  // namespace tarvel::test
