// The level meter's rise, fall and bar widths, and the scan progress display.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QProgressBar>
#include <QSlider>

#include "controls/PaintBox.h"
#include "controls/Panel.h"
#include "controls/Shape.h"
#include "overview/MeterTick.h"
#include "tests/overview/FakeAudio.h"

namespace tarvel::overview {
namespace {

using testing::FakeAudio;
using testing::FakeSource;
using testing::Level;

constexpr int kDecay = 3276;  // 32768 div (500 div 50)

struct Meter {
    Meter() {
        Panel6.SetBevel(controls::TPanel::Bevel::Lowered);
        Panel6.resize(99, 13);
        Shape2.setParent(&Panel6);
        Shape4.setParent(&Panel6);
        Shape2.setGeometry(2, 2, 0, 5);
        Shape4.setGeometry(2, 7, 0, 5);
        TrackBar1.setRange(0, 100);
        TrackBar1.setValue(50);
        CheckBox5.setChecked(true);
        ProgressBar1.setRange(0, 100);
        ProgressBar1.hide();
        session.MeterDecay = kDecay;
        FakeSource s;
        s.length = 10584000;
        s.level = [this](std::uint64_t) { return level.load(); };
        session.PlayChannel = audio.MakePlayChannel(s);
        session.Playing = true;
        tick = std::make_unique<MeterTick>(
            session,
            MeterControls{&Panel1, &Panel2, &PB, &ProgressBar1, &CheckBox5, &TrackBar1, &Panel6,
                          &Shape2, &Shape4},
            audio);
    }

    std::atomic<DWORD> level{0};
    FakeAudio audio;
    PlayerSession session;
    controls::TPanel Panel1, Panel2, Panel6;
    controls::TPaintBox PB;
    QProgressBar ProgressBar1;
    QCheckBox CheckBox5;
    QSlider TrackBar1;
    controls::TShape Shape2, Shape4;
    std::unique_ptr<MeterTick> tick;
};

TEST(MeterTick, RisesAtOnceAndFallsByTheDecayPerTick) {
    Meter m;
    m.level = Level(32768, 32768);
    m.tick->Timer3Timer();
    EXPECT_EQ(m.session.MeterLeft, 32768);
    m.level = 0;
    const std::vector<int> expected = {29492, 26216, 22940, 19664, 16388, 13112,
                                       9836,  6560,  3284,  8,     0,     0};
    std::vector<int> left;
    std::vector<int> right;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        m.tick->Timer3Timer();
        left.push_back(m.session.MeterLeft);
        right.push_back(m.session.MeterRight);
    }
    EXPECT_EQ(left, expected);
    EXPECT_EQ(right, expected);
    // A louder reading during the fall jumps straight up.
    m.level = Level(20000, 100);
    m.tick->Timer3Timer();
    EXPECT_EQ(m.session.MeterLeft, 20000);
    EXPECT_EQ(m.session.MeterRight, 100);
}

TEST(MeterTick, WidthFollowsLevelTimesVolumeInWholePercents) {
    const struct {
        int volume;
        int level;
        int width;
    } cases[] = {
        {50, 32768, 48}, {100, 16384, 48}, {3, 10000, 0}, {100, 32768, 96}, {0, 32768, 0},
        {100, 0, 0},     {1, 32768, 0},    {100, 328, 0}, {100, 656, 1},
    };
    Meter m;
    for (const auto& c : cases) {
        m.TrackBar1.setValue(c.volume);
        EXPECT_EQ(m.tick->MeterWidth(c.level), c.width) << c.volume << " x " << c.level;
    }
}

TEST(MeterTick, BarsShowTheLevelsWidths) {
    Meter m;
    m.level = Level(32768, 16384);
    m.tick->Timer3Timer();
    EXPECT_EQ(m.Shape2.width(), 48);
    EXPECT_EQ(m.Shape4.width(), 24);
    EXPECT_EQ(m.Shape2.height(), 5);
}

TEST(MeterTick, ReadingsCountAsSilenceWhenTheMeterShouldNotFollow) {
    const struct {
        const char* name;
        bool playing;
        bool paused;
        bool checked;
        DWORD level;
        int expected;
    } cases[] = {
        {"playing", true, false, true, Level(30000, 30000), 30000},
        {"stopped", false, false, true, Level(30000, 30000), 0},
        {"paused", true, true, true, Level(30000, 30000), 0},
        {"check box clear", true, false, false, Level(30000, 30000), 0},
        {"error value", true, false, true, BASS_ERROR_DWORD, 0},
        {"word above full scale", true, false, true, Level(32769, 40000), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Meter m;
        m.session.Playing = c.playing;
        m.session.Paused = c.paused;
        m.CheckBox5.setChecked(c.checked);
        m.level = c.level;
        m.tick->Timer3Timer();
        EXPECT_EQ(m.session.MeterLeft, c.expected);
        EXPECT_EQ(m.session.MeterRight, c.expected);
    }
}

TEST(MeterTick, ProgressDisplayWhileScanning) {
    const struct {
        const char* name;
        std::uint64_t done;
        std::uint64_t total;
        const char* caption;
        int bar;
    } cases[] = {
        {"a minute a tenth in", 1048576, 10584000, "scanning ( 1024 / 10335 )", 9},
        {"total not known yet", 0, 0, "scanning ( 0 / 0 )", 0},
        {"done", 10584000, 10584000, "scanning ( 10335 / 10335 )", 100},
        {"past 2 GiB the counts keep counting up", 0x80000000u, 0x90000000u,
         "scanning ( 2097152 / 2359296 )", 88},
        {"past 4 GiB of a 5 GiB source", 0x100000400ull, 0x140000000ull,
         "scanning ( 4194305 / 5242880 )", 80},
        {"a count a moment ahead of its total stays at the end", 3000, 2048, "scanning ( 2 / 2 )",
         100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Meter m;
        m.session.MeterLeft = 32768;
        m.session.Scanning = true;
        m.session.ScanDone = c.done;
        m.session.ScanTotal = c.total;
        m.level = Level(32768, 32768);
        m.tick->Timer3Timer();
        EXPECT_EQ(m.Panel1.Caption(), QString(c.caption));
        EXPECT_EQ(m.ProgressBar1.value(), c.bar);
        EXPECT_TRUE(m.PB.isHidden());
        EXPECT_TRUE(m.Panel2.isHidden());
        EXPECT_FALSE(m.ProgressBar1.isHidden());
        EXPECT_EQ(m.session.MeterLeft, 32768 - kDecay);  // no reading while scanning
    }
}

TEST(MeterTick, OverviewReturnsWhenTheScanEnds) {
    Meter m;
    m.session.Scanning = true;
    m.session.ScanDone = 1048576;
    m.session.ScanTotal = 10584000;
    m.tick->Timer3Timer();
    m.session.Scanning = false;
    m.tick->Timer3Timer();
    EXPECT_EQ(m.Panel1.Caption(), QString());
    EXPECT_EQ(m.ProgressBar1.value(), 0);
    EXPECT_TRUE(m.ProgressBar1.isHidden());
    EXPECT_FALSE(m.PB.isHidden());
    EXPECT_FALSE(m.Panel2.isHidden());
}

}  // namespace
}  // namespace tarvel::overview
