// The main window's controls: place, size, colour, text and visibility, and the window events.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFontInfo>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/LibraryVersion.h"
#include "app/Main.h"
#include "overview/MeterTick.h"
#include "overview/RefreshTick.h"
#include "resources/Images.h"
#include "tests/support/LongRecording.h"
#include "tests/support/TestAudio.h"

namespace tarvel {
namespace {

TForm1::AudioInit DummyDevice() {
    return [](TForm1& form) { return BASS_Init(-1, 44100, 0, &form, nullptr) != 0; };
}

struct Placement {
    const char* name;
    std::function<QWidget&(TForm1&)> widget;
    QRect rect;
    bool visible;
};

class WindowLayout : public ::testing::TestWithParam<Placement> {};

TEST_P(WindowLayout, PlaceSizeVisibility) {
    TForm1 form(DummyDevice());
    const Placement& p = GetParam();
    QWidget& w = p.widget(form);
    EXPECT_EQ(w.geometry(), p.rect);
    EXPECT_EQ(!w.isHidden(), p.visible);
}

#define PLACE(name, rect, visible)                                          \
    Placement {                                                             \
#name, [](TForm1 & f) -> QWidget& { return f.name; }, rect, visible \
    }
#define MODULE(i, left, width)                                                            \
    Placement {                                                                           \
        "FramSpeedBtn" #i, [](TForm1& f) -> QWidget& { return *f.ModuleButtons[i - 7]; }, \
            QRect(left, 0, width, 38), false                                              \
    }

INSTANTIATE_TEST_SUITE_P(
    Table, WindowLayout,
    ::testing::Values(
        PLACE(Panel3, QRect(0, -37, 890, 110), true), PLACE(Image1, QRect(0, 0, 890, 110), true),
        PLACE(SpinEdit1, QRect(302, 79, 49, 22), true), PLACE(Panel7, QRect(181, 90, 71, 14), true),
        PLACE(TrackBar1, QRect(1, 1, 69, 12), true), PLACE(CheckBox5, QRect(140, 76, 13, 14), true),
        PLACE(Panel6, QRect(153, 76, 99, 13), true), PLACE(Shape2, QRect(2, 2, 0, 5), true),
        PLACE(Shape4, QRect(2, 7, 0, 5), true), PLACE(FramSpeedBtn6, QRect(3, 42, 126, 32), true),
        PLACE(Panel1, QRect(129, 42, 757, 32), true), PLACE(Panel2, QRect(1, 1, 43, 30), true),
        PLACE(Label3, QRect(2, -2, 40, 13), true), PLACE(Label4, QRect(2, 8, 40, 13), true),
        PLACE(Label5, QRect(2, 18, 40, 13), true), PLACE(PB, QRect(44, 1, 712, 30), true),
        PLACE(ProgressBar1, QRect(128, 10, 153, 13), false),
        PLACE(FramSpeedBtn1, QRect(381, 74, 127, 32), true),
        PLACE(FramSpeedBtn2, QRect(507, 74, 127, 32), true),
        PLACE(FramSpeedBtn3, QRect(633, 74, 127, 32), true),
        PLACE(FramSpeedBtn4, QRect(759, 74, 127, 32), true),
        PLACE(FramSpeedBtn5, QRect(887, 74, 127, 32), false), MODULE(7, 0, 128),
        MODULE(8, 127, 128), MODULE(9, 254, 128), MODULE(10, 381, 128), MODULE(11, 508, 128),
        MODULE(12, 635, 128), MODULE(13, 762, 128), MODULE(14, 889, 129)),
    [](const ::testing::TestParamInfo<Placement>& param) { return std::string(param.param.name); });

TEST(MainWindow, LabelsSitAtTheirPointsWithTheirTexts) {
    TForm1 form(DummyDevice());
    EXPECT_EQ(form.Label1.pos(), QPoint(263, 83));
    EXPECT_EQ(form.Label1.text(), "SPEED");
    EXPECT_EQ(form.Label2.pos(), QPoint(357, 83));
    EXPECT_EQ(form.Label2.text(), "%");
    EXPECT_EQ(form.Label6.pos(), QPoint(140, 90));
    EXPECT_EQ(form.Label6.text(), "VOLUME");
    EXPECT_EQ(form.Label3.text(), "0000.00");
    EXPECT_EQ(form.Label4.text(), "0.00");
    EXPECT_EQ(form.Label5.text(), "0.00");
    EXPECT_TRUE(form.Label3.alignment() & Qt::AlignRight);
    for (QLabel* label : {&form.Label1, &form.Label2, &form.Label6, &form.Label3}) {
        EXPECT_FALSE(label->autoFillBackground()) << "labels are transparent";
    }
}

TEST(MainWindow, Colours) {
    TForm1 form(DummyDevice());
    const QColor yellow(0xFF, 0xFF, 0x00);
    EXPECT_EQ(form.Panel3.Color(), QColor(0x00, 0x00, 0x44));
    EXPECT_EQ(form.Panel7.Color(), QColor(0x00, 0x00, 0x44));
    EXPECT_EQ(form.Panel1.Color(), QColor(0, 0, 0));
    EXPECT_EQ(form.Panel2.Color(), QColor(0x22, 0x22, 0x00));
    EXPECT_EQ(form.Panel6.Color(), QColor(0x22, 0x22, 0x00));
    EXPECT_EQ(form.Shape2.BrushColor(), QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(form.Shape4.BrushColor(), QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(form.SpinEdit1.Color(), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(form.PB.palette().color(QPalette::Window), QColor(0x11, 0x55, 0x11));
    for (QLabel* label : {&form.Label1, &form.Label2, &form.Label6, &form.Label4}) {
        EXPECT_EQ(label->palette().color(QPalette::WindowText), yellow)
            << label->text().toStdString();
    }
    EXPECT_EQ(form.Label3.palette().color(QPalette::WindowText), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(form.Label5.palette().color(QPalette::WindowText), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(form.FramSpeedBtn1.palette().color(QPalette::WindowText), yellow);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0xFF));
}

TEST(MainWindow, WindowFrameFontAndControlSettings) {
    TForm1 form(DummyDevice());
    EXPECT_EQ(form.windowTitle(), "Tarvel Player");
    EXPECT_EQ(form.size(), QSize(890, 73));
    EXPECT_EQ(form.minimumSize(), QSize(890, 73));
    EXPECT_EQ(form.maximumSize(), QSize(890, 73));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(form.font().families().value(0), "Tahoma");
    EXPECT_EQ(form.Label1.font().pixelSize(), 11);

    EXPECT_EQ(form.SpinEdit1.Text(), "100");
    EXPECT_EQ(form.SpinEdit1.MinValue(), 50);
    EXPECT_EQ(form.SpinEdit1.MaxValue(), 400);
    EXPECT_EQ(form.TrackBar1.minimum(), 0);
    EXPECT_EQ(form.TrackBar1.maximum(), 100);
    EXPECT_EQ(form.TrackBar1.value(), 50);
    EXPECT_EQ(form.TrackBar1.pageStep(), 10);
    EXPECT_EQ(form.TrackBar1.singleStep(), 0);
    EXPECT_EQ(form.TrackBar1.tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(
        form.TrackBar1.style()->pixelMetric(QStyle::PM_SliderLength, nullptr, &form.TrackBar1), 9);
    EXPECT_TRUE(form.CheckBox5.isChecked());
    EXPECT_TRUE(form.CheckBox5.text().isEmpty());
    EXPECT_EQ(form.PB.cursor().shape(), Qt::SplitHCursor);  // points left and right
    EXPECT_EQ(form.PB.toolTip(), QString::fromUtf8("開始位置：左クリック / 停止位置：右クリック"));
    EXPECT_EQ(form.od.Title, QString::fromUtf8("音声ファイルを開く"));
}

// The bounding box of the pixels in `region` of the window's picture that `is` accepts.
template <typename Pred>
QRect Ink(const QImage& img, const QRect& region, Pred is) {
    QRect ink;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (is(img.pixelColor(x, y))) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

bool IsYellow(const QColor& c) {
    return c == QColor(0xFF, 0xFF, 0x00);
}
bool IsGlyphYellow(const QColor& c) {
    return c.red() > 0x80 && c.green() > 0x80 && c.blue() < 0x60;
}

// Every text of the window on its rows, in client coordinates (the carrying panel starts 37
// rows above the client area). Capitals and digits are eight rows high and stand on the
// baseline 11 rows below the top of their line.
TEST(MainWindow, TextsAndGlyphsStandOnTheRowsOfTheLayout) {
    TForm1 form(DummyDevice());
    ASSERT_EQ(QFontInfo(form.font()).family(), "Tahoma") << "fonts-wine (scripts/install-deps)";
    const QImage img = form.grab().toImage();
    const struct {
        const char* name;
        QRect region;
        bool (*is)(const QColor&);
        int top, bottom;  // ink rows
    } texts[] = {
        {"RESET: line 9..21 of the button", {4, 6, 124, 30}, IsYellow, 17, 24},
        {"STOP: line 3..15 of the button", {508, 38, 125, 15}, IsYellow, 43, 50},
        {"REPEAT PLAY", {634, 38, 125, 15}, IsYellow, 43, 50},
        {"LOAD", {760, 38, 125, 15}, IsYellow, 43, 50},
        {"SPEED at top 83", {255, 40, 46, 25}, IsYellow, 49, 56},
        {"% at top 83", {352, 40, 25, 25}, IsYellow, 49, 56},
        {"VOLUME at top 90", {135, 52, 46, 20}, IsYellow, 56, 63},
        {"Label3 white 0000.00, below Panel2's top edge",
         {130, 6, 43, 30},
         [](const QColor& c) { return c == QColor(0xFF, 0xFF, 0xFF); },
         7,
         14},
        {"Label4 yellow 0.00", {130, 6, 43, 30}, IsYellow, 17, 24},
        {"Label5 red 0.00",
         {130, 6, 43, 30},
         [](const QColor& c) { return c == QColor(0xFF, 0x00, 0x00); },
         27,
         34},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.name);
        const QRect ink = Ink(img, t.region, t.is);
        ASSERT_TRUE(ink.isValid());
        EXPECT_EQ(ink.top(), t.top);
        EXPECT_EQ(ink.bottom(), t.bottom);
    }
    // The slash of "PLAY / PAUSE" reaches above and below the capitals, within its line.
    const QRect play = Ink(img, {382, 38, 125, 15}, IsYellow);
    EXPECT_GE(play.top(), 40);
    EXPECT_LE(play.bottom(), 52);
    // "VOLUME" leaves a free column before the slider's frame at 181.
    EXPECT_EQ(Ink(img, {135, 52, 46, 20}, IsYellow).left(), 140);
    EXPECT_LE(Ink(img, {135, 52, 46, 20}, IsYellow).right(), 179);
    // Label3 ends at its right edge, column 171.
    EXPECT_LE(Ink(img, {130, 6, 43, 30}, [](const QColor& c) { return c == Qt::white; }).right(),
              171);

    // Glyphs on rows 16..27 of their buttons, centred: the glyph image's symbol, moved there.
    const struct {
        int left;
        int glyph;
    } glyphs[] = {{381, 0}, {507, 3}, {633, 4}, {759, 6}};
    for (const auto& g : glyphs) {
        SCOPED_TRACE(g.left);
        const QImage picture = resources::Glyph(g.glyph);
        const QRect symbol = Ink(picture, picture.rect(), IsGlyphYellow);
        EXPECT_EQ(Ink(img, {g.left + 1, 53, 125, 15}, IsGlyphYellow),
                  symbol.translated(g.left + 46, 37 + 16));
    }
}

TEST(MainWindow, ButtonsCaptionsAndGlyphs) {
    TForm1 form(DummyDevice());
    struct Face {
        controls::TFramSpeedBtn* button;
        const char* caption;
        int glyph;  // -1: none
    };
    const Face faces[] = {
        {&form.FramSpeedBtn1, "PLAY / PAUSE", 0}, {&form.FramSpeedBtn2, "STOP", 3},
        {&form.FramSpeedBtn3, "REPEAT PLAY", 4},  {&form.FramSpeedBtn4, "LOAD", 6},
        {&form.FramSpeedBtn6, "RESET", -1},       {&form.FramSpeedBtn5, "サポート", -1},
    };
    for (const Face& f : faces) {
        EXPECT_EQ(f.button->Caption(), QString::fromUtf8(f.caption));
        EXPECT_EQ(f.button->Layout(), controls::TFramSpeedBtn::TButtonLayout::blGlyphBottom);
        EXPECT_EQ(f.button->Spacing(), 0);
        if (f.glyph >= 0) {
            EXPECT_EQ(f.button->Glyph(), resources::Glyph(f.glyph)) << f.caption;
        } else {
            EXPECT_TRUE(f.button->Glyph().isNull()) << f.caption;
        }
    }
    for (std::size_t i = 0; i < form.ModuleButtons.size(); ++i) {
        EXPECT_EQ(form.ModuleButtons[i]->Caption(), QString::fromUtf8(kModuleButtons[i].caption));
    }
}

TEST(MainWindow, CreationState) {
    TForm1 form(DummyDevice());
    EXPECT_TRUE(form.AudioReady());
    EXPECT_EQ(form.Session.MeterDecay, 3276);
    EXPECT_EQ(form.Session.SampleRate, 44100u);
    EXPECT_TRUE(form.Session.RepeatMode);
    EXPECT_FALSE(form.Session.Playing);
    EXPECT_EQ(form.Session.BytesPerPixel.load(), 0u);
    EXPECT_EQ(form.Session.PlayChannel.load(), 0u);
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_EQ(form.Timer1.interval(), 20);
    EXPECT_FALSE(form.Timer2.isActive());
    EXPECT_EQ(form.Timer2.interval(), 100);
    EXPECT_TRUE(form.Timer3.isActive());
    EXPECT_EQ(form.Timer3.interval(), 50);
    EXPECT_NE(form.SingleProc1.MutexHandle(), nullptr);
}

TEST(MainWindow, FirstShowAutoLoadsAndArmsTheScanOnce) {
    TForm1 form(DummyDevice());
    form.ProgramPath = "/nonexistent/player";
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.Timer2.isActive());
    EXPECT_EQ(form.Session.PlayChannel.load(), 0u);  // no companion file: nothing loaded
    // The debounce fires once and starts a scan that finds nothing.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.Timer2.isActive(); }, 2000));
}

TEST(MainWindow, CloseQuerySetsClosingState) {
    TForm1 form(DummyDevice());
    form.show();
    form.close();
    EXPECT_TRUE(form.Session.Closing);
    EXPECT_FALSE(form.Session.RepeatMode);
    EXPECT_FALSE(form.Session.Playing);
    EXPECT_EQ(form.Session.BytesPerPixel.load(), 1u);
    EXPECT_FALSE(form.Timer1.isActive());
}

TEST(MainWindow, ClosingDuringAScanEndsWithoutWaitingForIt) {
    test::TempDir dir{"closescan"};
    const auto wav = dir.file("long.wav");
    test::WriteWav(wav, test::MakeNoise(44100, 2, 44100 * 120));
    auto form = std::make_unique<TForm1>(DummyDevice());
    form->od.Chooser = [wav](const TOpenDialog&) -> std::optional<QString> {
        return QString::fromStdString(wav.string());
    };
    form->Loader.FramSpeedBtn4Click();
    ASSERT_NE(form->Session.PlayChannel.load(), 0u);
    form->Timer2Timer();
    EXPECT_TRUE(form->Session.Scanning);
    form->close();
    EXPECT_TRUE(form->Session.Closing);
    // Destruction stops and joins the scan before the engine goes down.
    form.reset();
    // The engine is usable again afterwards: nothing was left half shut down.
    TForm1 again(DummyDevice());
    EXPECT_TRUE(again.AudioReady());
}

// A window with a scanned and drawn source, loaded through LOAD with a scripted dialog.
struct LoadedWindow {
    LoadedWindow() {
        form.od.Chooser = [this](const TOpenDialog&) -> std::optional<QString> {
            return QString::fromStdString(next.string());
        };
        Load(test::MakeSine(44100, 2, 44100 * 2, 440.0, 0.5), "first.wav");
    }
    void Load(const test::Pcm& pcm, const char* name) {
        next = dir.file(name);
        test::WriteWav(next, pcm);
        form.Loader.FramSpeedBtn4Click();
    }
    void LoadJunk() {
        next = dir.file("junk.mp3");
        test::WriteBytes(next, std::vector<std::uint8_t>(5000, 0x5A));
        form.Loader.FramSpeedBtn4Click();
    }
    void ScanAndDraw() {
        form.Timer2.stop();
        form.Timer2Timer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Session.Scanning.load(); }, 10000));
        form.Refresh->Timer1Timer();
    }
    // What the overview shows now: its paint handler over the black of its frame.
    QImage Overview() {
        QImage img(form.PB.size(), QImage::Format_RGB32);
        img.fill(Qt::black);
        QPainter painter(&img);
        form.Refresh->PBPaint(painter);
        return img;
    }
    test::TempDir dir{"loadedwindow"};
    std::filesystem::path next;
    TForm1 form{DummyDevice()};
};

bool ShowsNothing(const QImage& overview) {
    return Ink(overview, overview.rect(), [](const QColor& c) { return c != Qt::black; }).isNull();
}

TEST(MainWindow, NewSourceNeverShowsThePreviousOverview) {
    LoadedWindow w;
    w.ScanAndDraw();
    const QImage first = w.Overview();
    ASSERT_FALSE(ShowsNothing(first));

    // A silent second file: its overview is the bare region band.
    w.Load(test::MakeSilence(44100, 2, 44100 * 3), "second.wav");
    ASSERT_NE(w.form.Session.PlayChannel.load(), 0u);
    EXPECT_TRUE(ShowsNothing(w.Overview())) << "at once after LOAD";
    w.form.Refresh->Timer1Timer();  // the debounce is pending: the tick only waits
    EXPECT_TRUE(ShowsNothing(w.Overview())) << "during the debounce";
    // The tick rescheduled itself; this test ticks by hand, or a tick that falls between the
    // scan's end and the check below would draw first (it did on a loaded machine).
    w.form.Timer1.stop();
    w.form.Timer2.stop();
    w.form.Timer2Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.form.Session.Scanning.load(); }, 10000));
    w.form.Meter->Timer3Timer();  // shows the overview again
    EXPECT_TRUE(ShowsNothing(w.Overview())) << "after the scan, before the tick has drawn";
    w.form.Refresh->Timer1Timer();
    const QImage second = w.Overview();
    EXPECT_FALSE(ShowsNothing(second));
    EXPECT_NE(second, first);
    EXPECT_TRUE(
        Ink(second, second.rect(), [](const QColor& c) { return c == QColor(0, 255, 0); }).isNull())
        << "no envelope of the first file";
}

// Recordings of more than 4 GiB of PCM, loaded, scanned and drawn by the window: the progress
// counts up in whole KiB to the whole length, the end label shows the whole length in the last
// column, and a click at column 700 (beyond 4 GiB) puts the start mark and its time there.
TEST(MainWindow, RecordingsBeyondFourGiBShowTheirWholeLength) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // Scanning sixteen hours of audio takes many minutes in an instrumented build, and crowds out
    // the timed cases that run beside it; the memory it touches is that of any shorter scan.
    GTEST_SKIP() << "two full scans of eight hours and more";
#endif
    const struct {
        const char* name;
        std::function<bool(const std::filesystem::path&)> make;
        long long totalKiB;
        const char* endText;
        const char* startText;  // at column 700
    } cases[] = {
        {"5 GiB of WAV data",
         [](const std::filesystem::path& p) {
             test::WriteSparseWav(p, 44100, 2, (QWORD{5} << 30) / 4);
             return true;
         },
         5242880, "30434.86", "29921.91"},
        {"8 h 10 min 40 s of MP3",
         [](const std::filesystem::path& p) { return test::WriteLongMp3(p, 1127000); }, 5071500,
         "29440.00", "28943.82"},
    };
    const QRegularExpression progress(R"(^scanning \( (-?\d+) / (-?\d+) \)$)");
    LoadedWindow w;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.next = w.dir.file(std::string(c.name) + ".src");
        ASSERT_TRUE(c.make(w.next)) << "could not make the recording";
        w.form.Loader.FramSpeedBtn4Click();
        ASSERT_NE(w.form.Session.PlayChannel.load(), 0u);
        w.form.Timer2.stop();
        w.form.Timer2Timer();
        long long lastDone = 0;
        long long largestDone = 0;
        int ticks = 0;
        while (w.form.Session.Scanning.load()) {
            w.form.Meter->Timer3Timer();
            const QString caption = w.form.Panel1.Caption();
            const auto m = progress.match(caption);
            ASSERT_TRUE(m.hasMatch()) << caption.toStdString();
            const long long done = m.captured(1).toLongLong();
            const long long total = m.captured(2).toLongLong();
            if (total != 0) {
                EXPECT_EQ(total, c.totalKiB) << caption.toStdString();
            }
            EXPECT_GE(done, lastDone) << caption.toStdString();
            EXPECT_LE(done, c.totalKiB) << caption.toStdString();
            lastDone = done;
            largestDone = std::max(largestDone, done);
            ++ticks;
            ASSERT_LT(ticks, 6000) << "the scan takes more than five minutes";
            QTest::qWait(50);  // the meter tick's interval
        }
        EXPECT_GT(largestDone, 2097152) << "no progress shown past 2 GiB";
        w.form.Meter->Timer3Timer();
        w.form.Refresh->Timer1Timer();
        EXPECT_EQ(w.form.Label4.text(), "   0.00");
        EXPECT_EQ(w.form.Label5.text(), c.endText);
        const QImage overview = w.Overview();
        EXPECT_EQ(overview.pixelColor(w.form.PB.width() - 1, 0), QColor(0xFF, 0x00, 0x00));

        QTest::mouseClick(&w.form.PB, Qt::LeftButton, {}, QPoint(700, 15));
        w.form.Refresh->Timer1Timer();
        EXPECT_EQ(w.form.Label4.text(), c.startText);
        EXPECT_EQ(w.Overview().pixelColor(700, 0), QColor(0xFF, 0xFF, 0x00));
        EXPECT_EQ(w.form.Label5.text(), c.endText);
    }
}

TEST(MainWindow, MissingModuleProgramMessage) {
    TForm1 form(DummyDevice());
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    form.ModuleButtonClick(2);
    EXPECT_EQ(shown, QString::fromUtf8("実行ファイル(P3.exe)が見つかりません"));
}

TEST(MainWindow, FailedLoadWhilePlayingLeavesTheTransportIdle) {
    LoadedWindow w;
    ASSERT_NE(w.form.Session.PlayChannel.load(), 0u);
    w.ScanAndDraw();
    w.form.Transport1.FramSpeedBtn1Click();
    w.form.Refresh->Timer1Timer();
    ASSERT_EQ(w.form.FramSpeedBtn1.Caption(), "PAUSE");
    ASSERT_FALSE(w.form.Label3.isHidden());

    w.LoadJunk();
    EXPECT_EQ(w.form.Session.PlayChannel.load(), 0u);
    EXPECT_FALSE(w.form.Session.Playing);
    w.form.Refresh->Timer1Timer();
    EXPECT_EQ(w.form.FramSpeedBtn1.Caption(), "PLAY / PAUSE");
    EXPECT_EQ(w.form.FramSpeedBtn1.Glyph(), resources::Glyph(0));
    EXPECT_TRUE(w.form.Label3.isHidden()) << "shows " << w.form.Label3.text().toStdString();
    // The old overview and region stay, as after any failed open.
    EXPECT_FALSE(ShowsNothing(w.Overview()));
}

TEST(LibraryVersion, OnlyTwoThreeFromBuildThree) {
    EXPECT_TRUE(VersionAccepted(0x02030003));
    EXPECT_TRUE(VersionAccepted(0x02030009));
    EXPECT_TRUE(VersionAccepted(BASS_GetVersion()));
    EXPECT_FALSE(VersionAccepted(0x02030002));
    EXPECT_FALSE(VersionAccepted(0x02020010));
    EXPECT_FALSE(VersionAccepted(0x02040000));
}

// Last in this file: the quit request it provokes stops every later nested event loop.
TEST(ZLastMainWindow, FailedAudioInitRequestsQuitButStillShows) {
    bool quitSeen = false;
    {
        TForm1 form([](TForm1&) { return false; });
        EXPECT_FALSE(form.AudioReady());
        form.ProgramPath = "/nonexistent/player";
        form.show();  // FormShow still runs; its open attempt fails
        EXPECT_EQ(form.Session.PlayChannel.load(), 0u);
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, [&] { loop.exit(-1); });
        quitSeen = loop.exec() == 1;  // the queued quit ends this loop with the failure code
    }
    EXPECT_TRUE(quitSeen);
}

}  // namespace
}  // namespace tarvel
