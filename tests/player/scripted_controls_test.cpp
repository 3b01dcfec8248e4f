// The playback logic driven through scripted controls, with no widget at all: what the window is
// asked to show, in order, from a LOAD to a RESET.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "player/ControlPorts.h"
#include "player/SourceLoader.h"
#include "player/SpeedControl.h"
#include "player/Transport.h"
#include "tests/player/player_helpers.h"

namespace tarvel::test {
namespace {

// Every request the controls receive, as text, in order.
using Log = std::vector<std::string>;

class ScriptedButton final : public FaceButton {
  public:
    ScriptedButton(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    void ShowFace(ButtonFace face) override { log_.push_back(name_ + " " + face.caption); }

  private:
    Log& log_;
    std::string name_;
};

// Keeps a text as the real box does and raises the change event through `changed`.
class ScriptedBox final : public SpeedBox {
  public:
    explicit ScriptedBox(Log& log) : log_(log) {}
    std::function<void()> changed;

    void SetMinValue(int v) override { min_ = v; }
    void SetMaxValue(int v) override { max_ = v; }
    void SetIncrement(int) override {}
    QString Text() const override { return text_; }
    void SetText(const QString& text) override {
        if (text != text_) {
            text_ = text;
            log_.push_back("box " + text.toStdString());
            if (changed) {
                changed();
            }
        }
    }
    int Value() const override {
        bool ok = false;
        const int v = text_.toInt(&ok);
        return ok ? v : min_;
    }
    void SetValue(int value) override { SetText(QString::number(std::clamp(value, min_, max_))); }
    void SetColor(const QColor& color) override { color_ = color; }
    void SelectAll() override { log_.push_back("box select"); }
    QColor color() const { return color_; }

  private:
    Log& log_;
    QString text_;
    QColor color_;
    int min_ = 0;
    int max_ = 0;
};

struct ScriptedVolume final : VolumeSlider {
    int position = 0;
    int Position() const override { return position; }
};

struct ScriptedTimer final : DebounceTimer {
    explicit ScriptedTimer(Log& l) : log(l) {}
    void Start(int intervalMs) override { log.push_back("timer " + std::to_string(intervalMs)); }
    Log& log;
};

struct ScriptedDialog final : FileDialog {
    QString next;  // empty: the user cancels
    QString chosen;
    bool ChooseFile() override {
        chosen = next;
        return !chosen.isEmpty();
    }
    QString ChosenFile() const override { return chosen; }
};

struct ScriptedPlayer {
    ScriptedPlayer() {
        speed.Configure();  // before the change event is wired, as in the window
        box.changed = [this] { speed.SpinEdit1Change(); };
        log.clear();
    }
    ~ScriptedPlayer() {
        session.Closing.store(true);
        BASS_StreamFree(session.PlayChannel.exchange(0));
    }

    Log log;
    PlayerSession session;
    ScriptedButton play{log, "play"};
    ScriptedButton repeat{log, "repeat"};
    ScriptedBox box{log};
    ScriptedVolume volume;
    ScriptedTimer timer{log};
    ScriptedDialog dialog;
    SpeedControl speed{session, box};
    Transport transport{session, play, repeat, box, speed};
    SourceLoader loader{session, dialog, volume, timer, [this] { log.push_back("cancel scan"); }};
};

TEST(ScriptedControls, FromLoadToResetTheControlsAreAskedInOrder) {
    EnsureEngine();
    TempDir dir{"scripted"};
    ScriptedPlayer p;
    EXPECT_EQ(p.box.Text(), QString("100"));
    EXPECT_EQ(p.box.color(), kSpeedColorInRange);

    p.loader.FramSpeedBtn4Click();  // cancelled: nothing happens at all
    EXPECT_EQ(p.log, Log{});
    EXPECT_EQ(p.session.PlayChannel.load(), 0u);

    p.dialog.next = QString::fromStdString(WriteRampWav(dir, "a.wav", 1.0).string());
    p.volume.position = 30;
    p.loader.FramSpeedBtn4Click();
    const HSTREAM ch = p.session.PlayChannel.load();
    ASSERT_NE(ch, 0u);
    DWORD volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(ch, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 30u);  // the slider's position at the open, not the session's copy

    p.transport.FramSpeedBtn1Click();  // play
    p.box.SetText("150");
    p.transport.FramSpeedBtn1Click();  // pause
    p.transport.FramSpeedBtn3Click();  // single play
    p.transport.FramSpeedBtn6Click();  // reset: the box goes back to 100
    p.transport.FramSpeedBtn3Click();  // repeat play
    EXPECT_EQ(p.log, (Log{"cancel scan", "timer 100", "play PAUSE", "box 150", "play PLAY",
                          "repeat SINGLE PLAY", "box 100", "repeat REPEAT PLAY"}));
    EXPECT_EQ(p.speed.TempoCalls(), 3);  // play, 150, and 100 from the reset
    EXPECT_FALSE(p.session.Playing.load());
}

TEST(ScriptedControls, TheBoxIsColouredByItsValue) {
    struct Case {
        const char* text;
        QColor color;
        int tempoCalls;
    };
    for (const Case& c : {Case{"49", kSpeedColorBelow, 0}, Case{"50", kSpeedColorInRange, 1},
                          Case{"400", kSpeedColorInRange, 1}, Case{"401", kSpeedColorAbove, 0},
                          Case{"", kSpeedColorInRange, 0}}) {
        ScriptedPlayer p;
        p.box.SetText("77");
        const int before = p.speed.TempoCalls();
        p.box.SetText(c.text);
        EXPECT_EQ(p.box.color(), c.color) << c.text;
        EXPECT_EQ(p.speed.TempoCalls() - before, c.tempoCalls) << c.text;
    }
}

}  // namespace
}  // namespace tarvel::test
