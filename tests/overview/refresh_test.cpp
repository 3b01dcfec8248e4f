// The overview's pixels, the marks' labels and the refresh tick's duties, on OverviewBitmap.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QTimer>
#include <set>
#include <utility>

#include "controls/FramBtn.h"
#include "controls/PaintBox.h"
#include "overview/RefreshTick.h"
#include "resources/Images.h"
#include "tests/overview/FakeAudio.h"

namespace tarvel::overview {
namespace {

using testing::FakeAudio;
using testing::FakeSource;

constexpr int kPbWidth = 712;
constexpr int kScreenWidth = 1024;
constexpr QRgb kOutside = 0xFF115511;
constexpr QRgb kInside = 0xFF222200;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

struct Overview {
    Overview() {
        PB.resize(kPbWidth, kOverviewHeight);
        FramSpeedBtn1.SetCaption("PAUSE");
        Timer1.setInterval(20);
        Timer2.setSingleShot(true);
        session.SampleRate = 44100;
        session.ChannelCount = 2;
        FakeSource s;
        s.length = 10584000;
        session.PlayChannel = audio.MakePlayChannel(s);
        tick = std::make_unique<RefreshTick>(
            session,
            RefreshControls{&PB, &Label3, &Label4, &Label5, &FramSpeedBtn1, &Timer1, &Timer2},
            kScreenWidth, audio);
    }
    QRgb At(int x, int y) { return tick->OverviewBitmap().pixel(x, y); }
    // The rows of column x painted in `color`.
    std::set<int> Rows(int x, QRgb color) {
        std::set<int> rows;
        for (int y = 0; y < kOverviewHeight; ++y) {
            if (At(x, y) == color) {
                rows.insert(y);
            }
        }
        return rows;
    }

    FakeAudio audio;
    PlayerSession session;
    controls::TPaintBox PB;
    QLabel Label3, Label4, Label5;
    controls::TFramSpeedBtn FramSpeedBtn1;
    QTimer Timer1, Timer2;
    std::unique_ptr<RefreshTick> tick;
};

std::set<int> RowRange(int from, int to) {
    std::set<int> rows;
    for (int y = from; y <= to; ++y) {
        rows.insert(y);
    }
    return rows;
}

struct BandCase {
    const char* name;
    std::uint32_t loopStart;
    int startColumn;  // where the start mark stands
};

TEST(RefreshTick, BandTruncatesWhileTheStartMarkRounds) {
    const BandCase cases[] = {
        {"7433 rounds up to column 1", 7433, 1},
        {"7432 stays in column 0", 7432, 0},
    };
    for (const BandCase& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        o.session.BytesPerPixel = 14865;
        o.session.LoopStart = c.loopStart;
        o.session.LoopEnd = 14865 * 600;
        o.tick->Timer1Timer();
        // The band begins at column 0 in both cases: nothing left of it is #115511.
        EXPECT_EQ(o.At(0, 20), c.startColumn == 0 ? kYellow : kInside);
        EXPECT_EQ(o.Rows(c.startColumn, kYellow), RowRange(0, 29));
        EXPECT_EQ(o.At(c.startColumn + 1, 20), kInside);
        // The end: band up to column 599, the mark at 600, outside from there on.
        EXPECT_EQ(o.At(599, 20), kInside);
        EXPECT_EQ(o.Rows(600, kRed), RowRange(0, 29));
        EXPECT_EQ(o.At(601, 20), kOutside);
        EXPECT_EQ(o.At(kScreenWidth - 1, 20), kOutside);
        EXPECT_EQ(o.Label4.text(), QString("   0.04"));
    }
}

TEST(RefreshTick, RegionBandAndOutsideColumns) {
    Overview o;
    o.session.BytesPerPixel = 1000;
    o.session.LoopStart = 100500;  // band from column 100
    o.session.LoopEnd = 200000;    // to column 199
    o.tick->DrawOverview();
    EXPECT_EQ(o.At(0, 0), kOutside);
    EXPECT_EQ(o.At(99, 29), kOutside);
    EXPECT_EQ(o.At(100, 0), kInside);
    EXPECT_EQ(o.At(199, 29), kInside);
    EXPECT_EQ(o.At(200, 0), kOutside);
    EXPECT_EQ(o.At(kScreenWidth - 1, 15), kOutside);
}

TEST(RefreshTick, SourceOfLengthZeroBandsToTheRightEdgeWithTheEndMarkAtZero) {
    Overview o;
    o.session.BytesPerPixel = 3528;
    o.session.LoopStart = 0;
    o.session.LoopEnd = 0;
    o.tick->Timer1Timer();
    EXPECT_EQ(o.At(kScreenWidth - 1, 20), kInside);
    EXPECT_EQ(o.At(kPbWidth, 20), kInside);
    EXPECT_EQ(o.Rows(0, kRed), RowRange(0, 29));  // drawn over the start mark
    EXPECT_EQ(o.Rows(4, kRed), RowRange(2, 9));   // the end arrow
    EXPECT_EQ(o.Label5.text(), QString("   0.00"));
}

struct EnvelopeCase {
    const char* name;
    std::uint16_t left;
    std::uint16_t right;
    std::set<int> rows;
};

TEST(RefreshTick, EnvelopeColumns) {
    const EnvelopeCase cases[] = {
        {"silence paints nothing", 0, 0, {}},
        {"1100 on the left paints row 14 only", 1100, 0, {14}},
        {"1100 on the right paints row 15 only", 0, 1100, {15}},
        {"the largest value spans rows 1 to 28", 30474, 30474, RowRange(1, 28)},
        {"left only rises above the middle", 16384, 0, RowRange(7, 14)},
    };
    for (const EnvelopeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        o.session.BytesPerPixel = 100;
        o.session.LoopEnd = 100 * 2000;
        o.session.WaveLeft.assign(kPbWidth, 0);
        o.session.WaveRight.assign(kPbWidth, 0);
        o.session.WaveLeft[3] = c.left;
        o.session.WaveRight[3] = c.right;
        o.tick->DrawOverview();
        EXPECT_EQ(o.Rows(3, kGreen), c.rows);
        EXPECT_TRUE(o.Rows(2, kGreen).empty());
    }
}

TEST(RefreshTick, EnvelopeCoversOnlyTheArraysColumns) {
    Overview o;
    o.session.BytesPerPixel = 100;
    o.session.WaveLeft.assign(kPbWidth, 30474);
    o.session.WaveRight.assign(kPbWidth, 30474);
    o.tick->DrawOverview();
    EXPECT_EQ(o.At(kPbWidth - 1, 15), kGreen);
    EXPECT_EQ(o.At(kPbWidth, 15), kInside);
}

// The painted pixels of one mark drawn at column 50 on black.
std::set<std::pair<int, int>> Painted(Overview& o, QRgb color) {
    std::set<std::pair<int, int>> pixels;
    for (int x = 40; x < 60; ++x) {
        for (int y = 0; y < kOverviewHeight; ++y) {
            if (o.At(x, y) == color) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

std::set<std::pair<int, int>> Line(int x) {
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < kOverviewHeight; ++y) {
        pixels.insert({x, y});
    }
    return pixels;
}

void AddRow(std::set<std::pair<int, int>>& p, int y, int from, int to) {
    for (int x = from; x <= to; ++x) {
        p.insert({x, y});
    }
}

void AddColumn(std::set<std::pair<int, int>>& p, int x, int from, int to) {
    for (int y = from; y <= to; ++y) {
        p.insert({x, y});
    }
}

TEST(RefreshTick, MarkerArrows) {
    auto play = Line(50);
    AddRow(play, 0, 47, 52);
    AddRow(play, 1, 48, 51);
    AddRow(play, 2, 49, 50);
    AddRow(play, 27, 49, 50);
    AddRow(play, 28, 48, 51);
    AddRow(play, 29, 47, 52);
    auto start = Line(50);
    AddColumn(start, 49, 5, 6);
    AddColumn(start, 48, 4, 7);
    AddColumn(start, 47, 3, 8);
    AddColumn(start, 46, 2, 9);
    auto end = Line(50);
    AddColumn(end, 51, 5, 6);
    AddColumn(end, 52, 4, 7);
    AddColumn(end, 53, 3, 8);
    AddColumn(end, 54, 2, 9);

    const struct {
        int kind;
        QRgb color;
        std::set<std::pair<int, int>> expected;
        QLabel Overview::*label;
    } cases[] = {
        {kMarkPlay, kWhite, play, &Overview::Label3},
        {kMarkStart, kYellow, start, &Overview::Label4},
        {kMarkEnd, kRed, end, &Overview::Label5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Overview o;
        o.tick->OverviewBitmap().fill(Qt::black);
        o.tick->DrawMarker(50, c.kind, QColor::fromRgb(c.color), 441000);
        EXPECT_EQ(Painted(o, c.color), c.expected);
        EXPECT_EQ((o.*c.label).text(), QString("   2.50"));
    }
}

TEST(RefreshTick, MarkBeyondTheOverviewIsDrawnInItsLastColumn) {
    Overview o;
    o.tick->OverviewBitmap().fill(Qt::black);
    o.tick->DrawMarker(5000, kMarkStart, QColor::fromRgb(kYellow), 0);
    EXPECT_EQ(o.Rows(kPbWidth - 1, kYellow), RowRange(0, 29));
    EXPECT_EQ(o.Rows(kPbWidth, kYellow), std::set<int>{});
}

TEST(RefreshTick, TimeLabels) {
    const struct {
        std::int64_t position;
        std::uint32_t rate;
        std::uint32_t chans;
        const char* text;
    } cases[] = {
        {441000, 44100, 2, "   2.50"},
        {0, 44100, 2, "   0.00"},
        {10584000, 44100, 2, "  60.00"},
        {1764000 * 1000LL + 1764, 44100, 2, "10000.01"},  // wider than seven characters
        {88200, 22050, 1, "   2.00"},
        {441000, 44100, 0, "   0.00"},  // no format: no division by 0
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeLabelText(c.position, c.rate, c.chans), QString(c.text)) << c.text;
    }
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TimeLabelText(441000, 44100, 2), QString("   2,50"));
    QLocale::setDefault(saved);
}

TEST(RefreshTick, PlayMarkAndLoopGuard) {
    const struct {
        const char* name;
        QWORD position;
        bool refuse;
        std::vector<QWORD> seeks;
        int column;
    } cases[] = {
        {"inside the region", 5000, false, {}, 5},
        {"one column past the end is still tolerated", 21000, false, {}, 21},
        {"past end + one column goes back to the start", 21001, false, {3000}, 21},
        {"a refused seek falls back to 0", 21001, true, {3000, 0}, 21},
        {"the error position never passes", BASS_ERROR_QWORD, false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        o.session.BytesPerPixel = 1000;
        o.session.LoopStart = 3000;
        o.session.LoopEnd = 20000;
        o.session.Playing = true;
        o.audio.refuseSeeks = c.refuse;
        const DWORD play = o.session.PlayChannel.load();
        o.audio.SetPosition(play, c.position);
        o.tick->Timer1Timer();
        EXPECT_EQ(o.audio.Seeks(play), c.seeks);
        EXPECT_EQ(o.At(c.column, 29), kWhite);
        EXPECT_FALSE(o.Label3.isHidden());
    }
}

// 8 h 10 min 40 s of 44.1 kHz stereo, more than 4 GiB, at the column width its scan derives.
TEST(RefreshTick, RecordingBeyondFourGiB) {
    constexpr QWORD kLength = 5193216000ull;
    constexpr QWORD kBpp = kLength / kPbWidth;  // 7293842
    const struct {
        const char* name;
        QWORD position;
        std::vector<QWORD> seeks;
        int playColumn;
        const char* playText;
    } cases[] = {
        {"inside the region", 640 * kBpp, {}, 640, "26462.92"},
        {"one column past the end mark is tolerated", 700 * kBpp + kBpp, {}, 701, "28985.17"},
        {"further goes back to the start", 700 * kBpp + kBpp + 1, {600 * kBpp}, 701, "28985.17"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        FakeSource s;
        s.length = kLength;
        o.session.PlayChannel = o.audio.MakePlayChannel(s);
        o.session.BytesPerPixel = kBpp;
        o.session.LoopStart = 600 * kBpp;
        o.session.LoopEnd = 700 * kBpp;
        o.session.Playing = true;
        const DWORD play = o.session.PlayChannel.load();
        o.audio.SetPosition(play, c.position);
        o.tick->Timer1Timer();
        EXPECT_EQ(o.audio.Seeks(play), c.seeks);
        EXPECT_EQ(o.Rows(600, kYellow), RowRange(0, 29));
        EXPECT_EQ(o.Label4.text(), QString("24808.99"));
        EXPECT_EQ(o.At(700, 15), kRed);  // the play mark's wedges may cover its ends
        EXPECT_EQ(o.Label5.text(), QString("28943.82"));
        EXPECT_EQ(o.At(c.playColumn, 29), kWhite);
        EXPECT_EQ(o.Label3.text(), QString(c.playText));
        // The band: outside up to column 599, inside from 600 to 699, outside from 700 on.
        EXPECT_EQ(o.At(599, 20), kOutside);
        EXPECT_EQ(o.At(650, 20), kInside);
        EXPECT_EQ(o.At(kPbWidth - 1, 20), kOutside);
    }
    // The whole recording: the end mark in the last column, its label the full length.
    Overview o;
    o.session.BytesPerPixel = kBpp;
    o.session.LoopEnd = kLength;
    o.tick->Timer1Timer();
    EXPECT_EQ(o.Rows(kPbWidth - 1, kRed), RowRange(0, 29));
    EXPECT_EQ(o.Label5.text(), QString("29440.00"));
    EXPECT_EQ(o.At(kPbWidth - 2, 20), kInside);
}

TEST(RefreshTick, StoppedPlaybackRestoresThePlayButtonAndHidesThePlayLabel) {
    for (const std::uint32_t bytesPerPixel : {0u, 1000u}) {
        SCOPED_TRACE(bytesPerPixel);
        Overview o;
        o.session.BytesPerPixel = bytesPerPixel;
        o.session.Playing = false;
        o.Label3.show();
        o.tick->Timer1Timer();
        EXPECT_EQ(o.FramSpeedBtn1.Caption(), QString("PLAY / PAUSE"));
        EXPECT_EQ(o.FramSpeedBtn1.Glyph(),
                  resources::Glyph(0).convertToFormat(o.FramSpeedBtn1.Glyph().format()));
        // Before anything was scanned the play label keeps its start-up look.
        EXPECT_EQ(o.Label3.isHidden(), bytesPerPixel != 0);
    }
    // While playing (or paused) the caption is left to the transport.
    Overview o;
    o.session.Playing = true;
    o.session.Paused = true;
    o.FramSpeedBtn1.SetCaption("PLAY");
    o.tick->Timer1Timer();
    EXPECT_EQ(o.FramSpeedBtn1.Caption(), QString("PLAY"));
}

TEST(RefreshTick, IntervalAdaptsWhilePlayingAndRestsAt100Otherwise) {
    // Each tick's drawing is timed as `work` ms by a scripted clock, starting from 60 ms.
    const struct {
        const char* name;
        bool playing;
        bool paused;
        std::uint32_t work;
        int expected;
    } cases[] = {
        {"playing, no work: the floor", true, false, 0, 20},
        {"playing, 10 ms of work: four times the work", true, false, 10, 40},
        {"playing, 30 ms of work: the ceiling", true, false, 30, 100},
        {"playing, a stall or clock wrap leaves the interval", true, false, 5000, 60},
        {"idle", false, false, 0, 100},
        {"paused", true, true, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        o.session.BytesPerPixel = 14865;
        o.session.LoopEnd = 10584000;
        o.session.Playing = c.playing;
        o.session.Paused = c.paused;
        o.session.RefreshInterval = 60;
        // Near the wrap of the 32-bit clock: the difference must still come out right.
        std::uint32_t now = 0xFFFFFF00u;
        bool atStart = true;
        o.tick->SetClock([&] {
            const std::uint32_t t = atStart ? now : now + c.work;
            if (!atStart) {
                now = t + 7;  // the pause between ticks is not work
            }
            atStart = !atStart;
            return t;
        });
        for (int i = 0; i < 10; ++i) {
            o.tick->Timer1Timer();
        }
        EXPECT_EQ(o.session.RefreshInterval, c.expected);
        EXPECT_EQ(o.Timer1.interval(), c.expected);
        EXPECT_TRUE(o.Timer1.isActive());
    }
}

TEST(RefreshTick, PendingOrRunningScanOnlyWaits) {
    for (const bool scanning : {true, false}) {
        SCOPED_TRACE(scanning ? "scanning" : "debounce pending");
        Overview o;
        o.session.BytesPerPixel = 1000;
        o.session.Scanning = scanning;
        if (!scanning) {
            o.Timer2.start(100000);
        }
        o.Timer1.stop();
        o.tick->OverviewBitmap().fill(Qt::black);
        o.tick->Timer1Timer();
        EXPECT_EQ(o.At(0, 0), kBlack);
        EXPECT_EQ(o.Timer1.interval(), 100);
        EXPECT_TRUE(o.Timer1.isActive());
    }
}

TEST(RefreshTick, ClosingStopsTheTickAndThePainting) {
    Overview o;
    o.session.BytesPerPixel = 1000;
    o.session.Closing = true;
    o.Timer1.stop();
    o.tick->OverviewBitmap().fill(Qt::black);
    o.tick->Timer1Timer();
    o.tick->DrawOverview();
    o.tick->DrawMarker(10, kMarkStart, QColor::fromRgb(kYellow), 0);
    EXPECT_FALSE(o.Timer1.isActive());
    EXPECT_EQ(o.At(0, 0), kBlack);
    EXPECT_EQ(o.At(10, 15), kBlack);
}

TEST(RefreshTick, PaintCopiesTheBitmapOnlyOnceDrawnForTheCurrentScan) {
    enum class After { Nothing, ScanRan, DebouncePending, Discarded };
    const struct {
        const char* name;
        std::uint32_t bytesPerPixel;
        bool closing;
        After after;  // what happened since the tick drew
        bool painted;
    } cases[] = {
        {"scanned and drawn", 1000, false, After::Nothing, true},
        {"nothing scanned", 0, false, After::Nothing, false},
        {"closing", 1000, true, After::Nothing, false},
        {"a scan ran since: the drawing shows the old envelope", 1000, false, After::ScanRan,
         false},
        {"a scan is pending", 1000, false, After::DebouncePending, false},
        {"a new source replaced the drawn one", 1000, false, After::Discarded, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Overview o;
        o.session.BytesPerPixel = c.bytesPerPixel;
        o.session.LoopEnd = 20000;
        o.tick->Timer1Timer();
        o.session.Closing = c.closing;
        switch (c.after) {
            case After::Nothing:
                break;
            case After::ScanRan:
                o.session.Scanning = true;
                o.tick->Timer1Timer();
                o.session.Scanning = false;  // over, and the tick has not drawn since
                break;
            case After::DebouncePending:
                o.Timer2.start(100000);
                o.tick->Timer1Timer();
                break;
            case After::Discarded:
                o.tick->DiscardOverview();
                break;
        }
        o.tick->OverviewBitmap().fill(QColor::fromRgb(kRed));
        QImage screen(kPbWidth, kOverviewHeight, QImage::Format_RGB32);
        screen.fill(Qt::black);
        {
            QPainter painter(&screen);
            o.tick->PBPaint(painter);
        }
        EXPECT_EQ(screen.pixel(0, 0), c.painted ? kRed : kBlack);
        EXPECT_EQ(screen.pixel(kPbWidth - 1, kOverviewHeight - 1), c.painted ? kRed : kBlack);
    }
}

TEST(RefreshTick, TheNextDrawingShowsTheOverviewAgain) {
    Overview o;
    o.session.BytesPerPixel = 1000;
    o.session.LoopEnd = 20000;
    o.tick->DiscardOverview();
    o.tick->Timer1Timer();
    QImage screen(kPbWidth, kOverviewHeight, QImage::Format_RGB32);
    screen.fill(Qt::black);
    {
        QPainter painter(&screen);
        o.tick->PBPaint(painter);
    }
    EXPECT_EQ(screen.pixel(10, 5), kInside);
    EXPECT_EQ(screen.pixel(100, 5), kOutside);
}

}  // namespace
}  // namespace tarvel::overview
