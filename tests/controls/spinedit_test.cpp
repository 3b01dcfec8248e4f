// The numeric spin field driven with simulated keys and mouse clicks: the character filter, the
// arrows and their auto-repeat, leaving the box, values set by program and the selection.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "controls/RepeatTimer.h"
#include "controls/SpinArrowButton.h"
#include "controls/SpinEdit.h"
#include "controls/SpinTextField.h"

namespace {

using tarvel::controls::IsSpinCharacter;
using tarvel::controls::RepeatTimer;
using tarvel::controls::SpinArrowButton;
using tarvel::controls::TSpinEdit;

// A repeat timer on a clock the test moves forward.
class ScriptedRepeatTimer final : public RepeatTimer {
  public:
    void Start(int ms) override { due_ = now_ + ms; }
    void Stop() override { due_ = -1; }
    bool Running() const { return due_ >= 0; }

    // Moves the clock on by `ms`, firing every timeout that falls due on the way.
    void Advance(int ms) {
        const long long end = now_ + ms;
        while (due_ >= 0 && due_ <= end) {
            now_ = due_;
            due_ = -1;
            if (OnTimeout) {
                OnTimeout();
            }
        }
        now_ = end;
    }

  private:
    long long now_ = 0;
    long long due_ = -1;
};

class SpinEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = std::make_unique<QWidget>();
        host_->resize(420, 120);
        spin_ = std::make_unique<TSpinEdit>(host_.get());
        spin_->setGeometry(302, 79 - 37, 49, 22);
        spin_->SetMinValue(50);
        spin_->SetMaxValue(400);
        spin_->SetValue(100);
        spin_->OnBeep = [this] { ++beeps_; };
        other_ = std::make_unique<QLineEdit>(host_.get());
        other_->setGeometry(10, 10, 80, 22);
        host_->show();
        host_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
        other_->setFocus(Qt::OtherFocusReason);
        changes_ = std::make_unique<QSignalSpy>(spin_.get(), &TSpinEdit::Change);
        keys_ = std::make_unique<QSignalSpy>(spin_.get(), &TSpinEdit::KeyPress);
    }

    void TearDown() override {
        keys_.reset();
        changes_.reset();
        other_.reset();
        spin_.reset();
        host_.reset();
    }

    // Puts text in the box without counting it as a change of the test.
    void Start(const QString& text) {
        spin_->SetText(text);
        changes_->clear();
        keys_->clear();
        beeps_ = 0;
    }

    void FocusBox() {
        spin_->Edit()->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(spin_->Edit()->hasFocus());
    }

    QWidget* Arrow(bool up) const {
        QLineEdit* e = spin_->Edit();
        const int y = up ? 3 : e->height() - 4;
        QWidget* w = e->childAt(QPoint(e->width() - 5, y));
        EXPECT_NE(w, nullptr);
        return w;
    }

    // Puts a scripted clock under an arrow's auto-repeat; the arrow owns it.
    ScriptedRepeatTimer& Script(QWidget* arrow) {
        auto* button = dynamic_cast<SpinArrowButton*>(arrow);
        EXPECT_NE(button, nullptr);
        auto timer = std::make_unique<ScriptedRepeatTimer>();
        ScriptedRepeatTimer& ref = *timer;
        button->SetRepeatTimer(std::move(timer));
        return ref;
    }

    void ClickArrow(bool up) {
        QWidget* a = Arrow(up);
        QTest::mouseClick(a, Qt::LeftButton, {}, a->rect().center());
    }

    std::unique_ptr<QWidget> host_;
    std::unique_ptr<TSpinEdit> spin_;
    std::unique_ptr<QLineEdit> other_;
    std::unique_ptr<QSignalSpy> changes_;
    std::unique_ptr<QSignalSpy> keys_;
    int beeps_ = 0;
};

TEST(SpinCharacter, FilterAcceptsDigitsSignsSeparatorAndControlsButCarriageReturn) {
    struct Case {
        char16_t c;
        QChar point;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {u'0', u'.', true},  {u'9', u'.', true},       {u'+', u'.', true},  {u'-', u'.', true},
        {u'.', u'.', true},  {u',', u'.', false},      {u',', u',', true},  {u'.', u',', false},
        {8, u'.', true},  // backspace
        {1, u'.', true},     {27, u'.', true},         {31, u'.', true},    {13, u'.', false},
        {u' ', u'.', false}, {u'a', u'.', false},      {u'e', u'.', false}, {u'/', u'.', false},
        {u':', u'.', false}, {u'\u0663', u'.', false},  // an Arabic-Indic digit is not "0" to "9"
        {127, u'.', false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSpinCharacter(QChar(c.c), c.point), c.accepted) << int(c.c);
    }
}

TEST_F(SpinEditTest, ValueReadsTheTextOrCountsAsMinimum) {
    struct Case {
        const char* text;
        int value;
    };
    const std::vector<Case> cases = {
        {"100", 100}, {"", 50},   {"-", 50},      {"+", 50},           {"abc", 50}, {"1.5", 50},
        {"+80", 80},  {"-3", -3}, {"1000", 1000}, {"99999999999", 50}, {"7", 7},
    };
    for (const Case& c : cases) {
        spin_->SetText(c.text);
        EXPECT_EQ(spin_->Value(), c.value) << c.text;
    }
}

TEST_F(SpinEditTest, RefusedCharactersOnlyBeep) {
    Start("100");
    FocusBox();
    struct Key {
        Qt::Key key;
        char text;
    };
    for (const Key k : {Key{Qt::Key_A, 'a'}, Key{Qt::Key_Z, 'Z'}, Key{Qt::Key_Space, ' '},
                        Key{Qt::Key_Slash, '/'}, Key{Qt::Key_Asterisk, '*'}}) {
        QTest::keyClick(spin_->Edit(), k.text);
    }
    QTest::keyClick(spin_->Edit(), Qt::Key_Return);
    QTest::keyClick(spin_->Edit(), Qt::Key_Enter);
    EXPECT_EQ(beeps_, 7);
    EXPECT_EQ(keys_->count(), 0);
    EXPECT_EQ(changes_->count(), 0);
    EXPECT_EQ(spin_->Text(), "100");
}

TEST_F(SpinEditTest, AcceptedCharactersReachKeyPressAndAreInserted) {
    Start("");
    FocusBox();
    const QString point = QLocale().decimalPoint();
    for (const char c : QByteArray("12+-")) {
        QTest::keyClick(spin_->Edit(), c);
    }
    QTest::keyClicks(spin_->Edit(), point);
    EXPECT_EQ(beeps_, 0);
    EXPECT_EQ(spin_->Text(), QString("12+-") + point);
    ASSERT_EQ(keys_->count(), 5);
    EXPECT_EQ(keys_->at(0).at(0).value<QChar>(), QChar(u'1'));
    EXPECT_EQ(changes_->count(), 5);
    // Backspace is a control character: it passes, reaches KeyPress and deletes as usual.
    QTest::keyClick(spin_->Edit(), Qt::Key_Backspace);
    EXPECT_EQ(keys_->count(), 6);
    EXPECT_EQ(keys_->at(5).at(0).value<QChar>(), QChar(8));
    EXPECT_EQ(spin_->Text(), "12+-");
    EXPECT_EQ(beeps_, 0);
}

TEST_F(SpinEditTest, KeyPressRunsBeforeTheKeyIsInsertedAndMayClearTheText) {
    Start("100");
    FocusBox();  // selects the whole text
    QString textAtKeyPress;
    QStringList texts;
    QObject::connect(spin_.get(), &TSpinEdit::Change, [&] { texts << spin_->Text(); });
    QObject::connect(spin_.get(), &TSpinEdit::KeyPress, [&](QChar) {
        textAtKeyPress = spin_->Text();
        spin_->SetText("");
    });
    QTest::keyClick(spin_->Edit(), '1');
    EXPECT_EQ(textAtKeyPress, "100");
    EXPECT_EQ(spin_->Text(), "1");
    EXPECT_EQ(texts, QStringList({"", "1"}));
}

TEST_F(SpinEditTest, TypingAppendsWithoutLengthLimit) {
    Start("100");
    FocusBox();
    spin_->Edit()->end(false);
    QTest::keyClick(spin_->Edit(), '0');
    EXPECT_EQ(spin_->Text(), "1000");
    EXPECT_EQ(spin_->Value(), 1000);
    EXPECT_EQ(changes_->count(), 1);
}

TEST_F(SpinEditTest, ArrowsAndUpDownKeysStepWithinTheLimits) {
    struct Case {
        const char* start;
        bool up;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {"100", true, "101"},   {"100", false, "99"}, {"400", true, "400"}, {"50", false, "50"},
        {"", false, "50"},      {"", true, "51"},     {"-", true, "51"},    {"1000", true, "400"},
        {"1000", false, "400"}, {"10", false, "50"},  {"10", true, "50"},   {"+400", true, "400"},
    };
    for (const bool useKeys : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.start) + (c.up ? " up" : " down") +
                         (useKeys ? " by key" : " by arrow"));
            Start(c.start);
            FocusBox();
            if (useKeys) {
                QTest::keyClick(spin_->Edit(), c.up ? Qt::Key_Up : Qt::Key_Down);
            } else {
                ClickArrow(c.up);
            }
            EXPECT_EQ(spin_->Text(), c.expect);
            const bool differs = QString(c.start) != QString(c.expect);
            EXPECT_EQ(changes_->count(), differs ? 1 : 0);
            EXPECT_EQ(keys_->count(), 0);
        }
    }
}

TEST_F(SpinEditTest, IncrementIsTheStep) {
    spin_->SetIncrement(25);
    Start("100");
    ClickArrow(true);
    EXPECT_EQ(spin_->Text(), "125");
    Start("390");
    ClickArrow(true);
    EXPECT_EQ(spin_->Text(), "400");
}

TEST_F(SpinEditTest, PressingAnArrowMovesTheFocusToTheText) {
    ASSERT_TRUE(other_->hasFocus());
    QSignalSpy enters(spin_.get(), &TSpinEdit::Enter);
    QWidget* up = Arrow(true);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_TRUE(spin_->Edit()->hasFocus());
    EXPECT_EQ(enters.count(), 1);
    EXPECT_EQ(spin_->Text(), "100");  // the step comes with the release
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(spin_->Text(), "101");
}

TEST_F(SpinEditTest, ReleasingAnArrowOutsideDoesNotStep) {
    Start("100");
    QWidget* up = Arrow(true);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    QTest::mouseMove(up, QPoint(-30, 40));
    QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(-30, 40));
    EXPECT_EQ(spin_->Text(), "100");
}

TEST_F(SpinEditTest, HoldingAnArrowRepeatsAfterADelay) {
    Start("100");
    QWidget* up = Arrow(true);
    ScriptedRepeatTimer& clock = Script(up);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    clock.Advance(399);
    EXPECT_EQ(spin_->Value(), 100);  // nothing before the first pause is over
    clock.Advance(1);
    EXPECT_EQ(spin_->Value(), 101);
    clock.Advance(600);  // then one step every 100 ms
    EXPECT_EQ(spin_->Value(), 107);

    // Moved off the arrow while held: no more steps.
    QTest::mouseMove(up, QPoint(-30, 40));
    clock.Advance(350);
    EXPECT_EQ(spin_->Value(), 107);
    // Back over it: repeating resumes at its pace; the release adds the ordinary step.
    QTest::mouseMove(up, up->rect().center());
    clock.Advance(320);
    EXPECT_EQ(spin_->Value(), 110);
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(spin_->Value(), 111);
    EXPECT_FALSE(clock.Running());  // the repeat stopped with the release
    clock.Advance(1000);
    EXPECT_EQ(spin_->Value(), 111);
}

TEST_F(SpinEditTest, HoldingDownRepeatsToTheLimitAndStops) {
    Start("55");
    QWidget* down = Arrow(false);
    ScriptedRepeatTimer& clock = Script(down);
    QTest::mousePress(down, Qt::LeftButton, {}, down->rect().center());
    clock.Advance(1200);
    QTest::mouseRelease(down, Qt::LeftButton, {}, down->rect().center());
    EXPECT_EQ(spin_->Text(), "50");
    EXPECT_EQ(changes_->count(), 5);  // 54, 53, 52, 51, 50: none at the limit
}

TEST_F(SpinEditTest, RepeatingArrowsRunOnQtsTimer) {
    // The real timer, briefly: a held arrow steps on its own within a second.
    Start("100");
    QWidget* up = Arrow(true);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return spin_->Value() > 100; }, 5000));
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
}

TEST_F(SpinEditTest, LeavingTheBoxCorrectsAnOutOfRangeNumber) {
    struct Case {
        const char* start;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {"1000", "400"}, {"401", "400"}, {"10", "50"},   {"0", "50"},
        {"-7", "50"},    {"", ""},       {"-", "-"},     {"+", "+"},
        {"200", "200"},  {"50", "50"},   {"400", "400"}, {"1.5", "1.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        FocusBox();
        Start(c.start);
        other_->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(spin_->Text(), c.expect);
        EXPECT_EQ(changes_->count(), QString(c.start) == QString(c.expect) ? 0 : 1);
    }
}

TEST_F(SpinEditTest, SwitchingToAnotherWindowIsNotLeavingTheBox) {
    FocusBox();
    Start("1000");
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(spin_->Edit(), &out);
    EXPECT_EQ(spin_->Text(), "1000");
    EXPECT_EQ(changes_->count(), 0);
}

TEST_F(SpinEditTest, SetValueWritesOnlyADifferentText) {
    struct Case {
        const char* start;
        int value;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {"100", 100, "100"}, {"150", 100, "100"}, {"100", 1000, "400"}, {"400", 401, "400"},
        {"100", -5, "50"},   {"", 50, "50"},      {"+100", 100, "100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " <- " + std::to_string(c.value));
        Start(c.start);
        spin_->SetValue(c.value);
        EXPECT_EQ(spin_->Text(), c.expect);
        EXPECT_EQ(changes_->count(), QString(c.start) == QString(c.expect) ? 0 : 1);
    }
}

TEST_F(SpinEditTest, EnteringTheBoxSelectsAllAndReportsEnter) {
    QSignalSpy enters(spin_.get(), &TSpinEdit::Enter);
    Start("150");
    FocusBox();
    EXPECT_EQ(enters.count(), 1);
    EXPECT_EQ(spin_->Edit()->selectedText(), "150");
}

TEST_F(SpinEditTest, EveryLeftClickSelectsAllAndReportsClick) {
    QSignalSpy clicks(spin_.get(), &TSpinEdit::Click);
    Start("150");
    QLineEdit* e = spin_->Edit();
    // First click: the focus comes with it.
    QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(8, e->height() / 2));
    EXPECT_TRUE(e->hasFocus());
    EXPECT_EQ(e->selectedText(), "150");
    // A later click would place the caret; the box selects everything again.
    e->deselect();
    e->setCursorPosition(1);
    QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(12, e->height() / 2));
    EXPECT_EQ(e->selectedText(), "150");
    EXPECT_EQ(clicks.count(), 2);
    // Typing then replaces the whole text.
    QTest::keyClick(e, '7');
    EXPECT_EQ(spin_->Text(), "7");
    // The right button is no click.
    QTest::mouseClick(e, Qt::RightButton, {}, QPoint(12, e->height() / 2));
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(SpinEditTest, ColourIsTheFieldBackground) {
    Start("");
    for (const QColor c : {QColor(0xFF, 0x80, 0xC0), QColor(0xC0, 0xC0, 0xC0), QColor(Qt::white)}) {
        spin_->SetColor(c);
        EXPECT_EQ(spin_->Color(), c);
        const QImage img = spin_->grab().toImage();
        EXPECT_EQ(img.pixelColor(15, img.height() / 2), c);
    }
}

TEST_F(SpinEditTest, ArrowsSitAtTheRightEdgeAndTakeNoFocus) {
    QWidget* up = Arrow(true);
    QWidget* down = Arrow(false);
    ASSERT_NE(up, down);
    EXPECT_EQ(up->focusPolicy(), Qt::NoFocus);
    EXPECT_LT(up->geometry().bottom(), down->geometry().top());
    EXPECT_GE(up->geometry().right(), spin_->width() - 3);
    // The text does not run under the arrows.
    EXPECT_GE(spin_->Edit()->textMargins().right(), up->width());
}

}  // namespace
