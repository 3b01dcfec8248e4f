#include "app/Main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

#include "app/LibraryVersion.h"
#include "overview/MeterTick.h"
#include "overview/RefreshTick.h"
#include "overview/ScanController.h"
#include "player/OverviewMouse.h"
#include "player/ScanDebounce.h"
#include "player/VolumeControl.h"
#include "resources/Images.h"

namespace tarvel {

namespace {

using controls::TFramSpeedBtn;
using controls::TPanel;

// Layout: left, top, width, height relative to the parent.
constexpr QRect kPanel3Rect{0, -37, 890, 110};
constexpr QPoint kLabel1Pos{263, 83};
constexpr QRect kSpinEdit1Rect{302, 79, 49, 22};
constexpr QPoint kLabel2Pos{357, 83};
constexpr QPoint kLabel6Pos{140, 90};
constexpr QRect kPanel7Rect{181, 90, 71, 14};
constexpr QRect kCheckBox5Rect{140, 76, 13, 14};
constexpr QRect kPanel6Rect{153, 76, 99, 13};
constexpr QRect kShape2Rect{2, 2, 60, 5};
constexpr QRect kShape4Rect{2, 7, 60, 5};
constexpr QRect kFramSpeedBtn6Rect{3, 42, 126, 32};
constexpr QRect kPanel1Rect{129, 42, 757, 32};
constexpr QRect kPanel2Rect{1, 1, 43, 30};
constexpr QRect kLabel3Rect{2, -2, 40, 13};
constexpr QRect kLabel4Rect{2, 8, 40, 13};
constexpr QRect kLabel5Rect{2, 18, 40, 13};
constexpr QRect kPBRect{44, 1, 712, 30};
constexpr QRect kProgressBar1Rect{128, 10, 153, 13};
constexpr QRect kFramSpeedBtn1Rect{381, 74, 127, 32};
constexpr QRect kFramSpeedBtn2Rect{507, 74, 127, 32};
constexpr QRect kFramSpeedBtn3Rect{633, 74, 127, 32};
constexpr QRect kFramSpeedBtn4Rect{759, 74, 127, 32};
constexpr QRect kFramSpeedBtn5Rect{887, 74, 127, 32};
constexpr int kModuleTop = 0;
constexpr int kModuleHeight = 38;
constexpr int kModuleWidth = 128;
constexpr int kModuleLastWidth = 129;
constexpr int kModuleStride = 127;
constexpr int kFontPixelSize = 11;

const QColor kWindowColor{0xFF, 0xFF, 0xFF};
const QColor kNavy{0x00, 0x00, 0x44};
const QColor kYellow{0xFF, 0xFF, 0x00};
const QColor kRed{0xFF, 0x00, 0x00};
const QColor kWhite{0xFF, 0xFF, 0xFF};
const QColor kBlack{0x00, 0x00, 0x00};
const QColor kTimePanel{0x22, 0x22, 0x00};
const QColor kOverviewGreen{0x11, 0x55, 0x11};
const QColor kMeterBar{0x00, 0x80, 0xFF};

constexpr const char* kZeroTime = "0.00";
constexpr const char* kWideTime = "0000.00";
constexpr const char* kPBHint = "開始位置：左クリック / 停止位置：右クリック";
constexpr const char* kMissingBefore = "実行ファイル(";
constexpr const char* kMissingAfter = ")が見つかりません";
constexpr const char* kBadVersionCaption = "Incorrect BASS.DLL";
constexpr const char* kBadVersionText =
    "An incorrect version of BASS.DLL was loaded (2.3.0.3 is required)";

constexpr int kAudioDevice = -1;
constexpr DWORD kAudioRate = 44100;
constexpr DWORD kConfigValue = 1;
constexpr int kRefreshStartMs = 20;
constexpr int kMeterTickMs = 50;
constexpr int kMeterFullScale = 32768;
constexpr int kMeterFallMs = 500;
// The program ends with this code when the audio output cannot be used.
constexpr int kAudioFailureExitCode = 1;

void SetTextColor(QWidget& widget, const QColor& color) {
    QPalette pal = widget.palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::ButtonText, color);
    widget.setPalette(pal);
}

void PlaceLabel(controls::TLabel& label, const QPoint& pos, const char* text) {
    label.setText(QString::fromUtf8(text));
    label.adjustSize();
    label.move(pos);
}

void SetUpButton(TFramSpeedBtn& button, const QRect& rect, const char* caption) {
    button.setGeometry(rect);
    button.SetCaption(QString::fromUtf8(caption));
    button.SetLayout(TFramSpeedBtn::TButtonLayout::blGlyphBottom);
    button.SetSpacing(0);
}

// The termination request takes effect when the message loop runs.
void RequestQuit(int code) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
}

// Wine's metric-compatible Tahoma (Debian's fonts-wine) lies outside fontconfig's folders; with
// it the captions keep the widths the layout was drawn for.
void RegisterTahoma() {
    static const bool registered = [] {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
            for (const char* file :
                 {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            }
        }
        return true;
    }();
    (void)registered;
}

QFont WindowFont() {
    RegisterTahoma();
    QFont font;
    // Where no Tahoma is found, the condensed DejaVu face keeps the captions within their places.
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(kFontPixelSize);
    // At this size the face asks for whole pixels, not smoothing, and Wine's Tahoma carries
    // hand-tuned bitmaps for it: crisp captions with the widths the layout was drawn for.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

}  // namespace

TForm1::TForm1(AudioInit initAudio)
    : ProgramPath(QCoreApplication::applicationFilePath()),
      Panel3(this),
      Image1(&Panel3),
      Label1(&Panel3),
      SpinEdit1(&Panel3),
      Label2(&Panel3),
      Label6(&Panel3),
      Panel7(&Panel3),
      TrackBar1(&Panel7),
      CheckBox5(&Panel3),
      Panel6(&Panel3),
      Shape2(&Panel6),
      Shape4(&Panel6),
      FramSpeedBtn6(&Panel3),
      Panel1(&Panel3),
      Panel2(&Panel1),
      Label3(&Panel2),
      Label4(&Panel2),
      Label5(&Panel2),
      PB(&Panel1),
      ProgressBar1(&Panel1),
      FramSpeedBtn1(&Panel3),
      FramSpeedBtn2(&Panel3),
      FramSpeedBtn3(&Panel3),
      FramSpeedBtn4(&Panel3),
      FramSpeedBtn5(&Panel3),
      od(this),
      SingleProc1(this),
      Speed(Session, Ports.SpinEdit1Port),
      Transport1(Session, Ports.FramSpeedBtn1Port, Ports.FramSpeedBtn3Port, Ports.SpinEdit1Port,
                 Speed),
      Scan(std::make_unique<overview::ScanController>(Session)),
      Loader(Session, od, Ports.TrackBar1Port, Ports.Timer2Port, [this] { Scan->CancelAndWait(); }),
      initAudio_(std::move(initAudio)) {
    for (auto& button : ModuleButtons) {
        button = std::make_unique<TFramSpeedBtn>(&Panel3);
    }
    CreateControls();
    WireEvents();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::CreateControls() {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(WindowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColor);
    pal.setColor(QPalette::WindowText, kBlack);
    setPalette(pal);
    setAutoFillBackground(true);
    centring_.PlaceBeforeShow();

    Panel3.setGeometry(kPanel3Rect);
    Panel3.SetColor(kNavy);
    Panel3.SetFontColor(kYellow);
    SetTextColor(Panel3, kYellow);

    Image1.setGeometry(0, 0, kPanel3Rect.width(), kPanel3Rect.height());
    Image1.setScaledContents(true);
    if (const QImage background = resources::Background(); !background.isNull()) {
        Image1.setPixmap(QPixmap::fromImage(background));
    }

    PlaceLabel(Label1, kLabel1Pos, "SPEED");
    SpinEdit1.setGeometry(kSpinEdit1Rect);
    SetTextColor(SpinEdit1, kBlack);
    {
        QPalette sp = SpinEdit1.palette();
        sp.setColor(QPalette::Text, kBlack);
        SpinEdit1.setPalette(sp);
    }
    Speed.Configure();
    PlaceLabel(Label2, kLabel2Pos, "%");
    PlaceLabel(Label6, kLabel6Pos, "VOLUME");

    Panel7.setGeometry(kPanel7Rect);
    Panel7.SetBevel(TPanel::Bevel::Lowered);
    Panel7.SetColor(kNavy);
    TrackBar1.setGeometry(1, 1, kPanel7Rect.width() - 2, kPanel7Rect.height() - 2);
    ConfigureTrackBar1(TrackBar1);
    TrackBar1.setStyle(&TrackBar1Style);

    CheckBox5.setGeometry(kCheckBox5Rect);
    CheckBox5.setChecked(true);

    Panel6.setGeometry(kPanel6Rect);
    Panel6.SetBevel(TPanel::Bevel::Lowered);
    Shape2.setGeometry(kShape2Rect);
    Shape2.SetBrushColor(kMeterBar);
    Shape4.setGeometry(kShape4Rect);
    Shape4.SetBrushColor(kMeterBar);

    SetUpButton(FramSpeedBtn6, kFramSpeedBtn6Rect, "RESET");

    Panel1.setGeometry(kPanel1Rect);
    Panel1.SetBevel(TPanel::Bevel::Lowered);
    Panel1.SetColor(kBlack);
    Panel1.SetFontColor(kYellow);
    Panel2.setGeometry(kPanel2Rect);
    Label3.setGeometry(kLabel3Rect);
    Label3.setText(QString::fromUtf8(kWideTime));
    Label3.setAlignment(Qt::AlignRight | Qt::AlignTop);
    SetTextColor(Label3, kWhite);
    // Shows its start-up text until an overview has been drawn; from then on the refresh tick
    // shows it only while playing.
    Label4.setGeometry(kLabel4Rect);
    Label4.setText(QString::fromUtf8(kWideTime));
    Label5.setGeometry(kLabel5Rect);
    Label5.setText(QString::fromUtf8(kWideTime));

    PB.setGeometry(kPBRect);
    {
        QPalette pp = PB.palette();
        pp.setColor(QPalette::Window, kOverviewGreen);
        PB.setPalette(pp);
    }
    PB.setCursor(Qt::SplitHCursor);  // the marks are dragged left and right
    PB.setToolTip(QString::fromUtf8(kPBHint));

    ProgressBar1.setGeometry(kProgressBar1Rect);
    ProgressBar1.setRange(0, 100);
    ProgressBar1.setValue(0);
    ProgressBar1.setTextVisible(false);
    ProgressBar1.hide();  // shown only while scanning

    SetUpButton(FramSpeedBtn1, kFramSpeedBtn1Rect, kFaceIdle.caption);
    SetUpButton(FramSpeedBtn2, kFramSpeedBtn2Rect, kFaceStop.caption);
    SetUpButton(FramSpeedBtn3, kFramSpeedBtn3Rect, kFaceRepeat.caption);
    SetUpButton(FramSpeedBtn4, kFramSpeedBtn4Rect, kFaceLoad.caption);
    SetUpButton(FramSpeedBtn5, kFramSpeedBtn5Rect, "サポート");
    FramSpeedBtn5.hide();

    for (std::size_t i = 0; i < ModuleButtons.size(); ++i) {
        const int column = static_cast<int>(i);
        const bool last = column == kModuleButtonCount - 1;
        SetUpButton(*ModuleButtons[i],
                    QRect(column * kModuleStride, kModuleTop,
                          last ? kModuleLastWidth : kModuleWidth, kModuleHeight),
                    kModuleButtons[i].caption);
        ModuleButtons[i]->hide();
    }

    Timer2.setInterval(kScanDebounceMs);
    Timer3.setInterval(kMeterTickMs);
    for (std::size_t i = 0; i < ImageList1.size(); ++i) {
        ImageList1[i] = resources::Glyph(static_cast<int>(i));
    }
}

void TForm1::WireEvents() {
    connect(&FramSpeedBtn1, &TFramSpeedBtn::Click, this,
            [this] { Transport1.FramSpeedBtn1Click(); });
    connect(&FramSpeedBtn2, &TFramSpeedBtn::Click, this,
            [this] { Transport1.FramSpeedBtn2Click(); });
    connect(&FramSpeedBtn3, &TFramSpeedBtn::Click, this,
            [this] { Transport1.FramSpeedBtn3Click(); });
    connect(&FramSpeedBtn4, &TFramSpeedBtn::Click, this, [this] { Loader.FramSpeedBtn4Click(); });
    connect(&FramSpeedBtn6, &TFramSpeedBtn::Click, this,
            [this] { Transport1.FramSpeedBtn6Click(); });
    for (std::size_t i = 0; i < ModuleButtons.size(); ++i) {
        connect(ModuleButtons[i].get(), &TFramSpeedBtn::Click, this,
                [this, i] { ModuleButtonClick(static_cast<int>(i)); });
    }
    connect(&SpinEdit1, &controls::TSpinEdit::Change, this, [this] { Speed.SpinEdit1Change(); });
    connect(&SpinEdit1, &controls::TSpinEdit::KeyPress, this,
            [this](QChar key) { Speed.SpinEdit1KeyPress(key); });
    connect(&SpinEdit1, &controls::TSpinEdit::Enter, this, [this] { Speed.SpinEdit1Enter(); });
    connect(&SpinEdit1, &controls::TSpinEdit::Click, this, [this] { Speed.SpinEdit1Click(); });
    connect(&TrackBar1, &QSlider::valueChanged, this,
            [this] { TrackBar1Change(Session, TrackBar1.value()); });
    connect(&PB, &controls::TPaintBox::MouseDown, this,
            [this](Qt::MouseButton button, int x, int) { PBMouseDown(Session, button, x); });
    connect(&PB, &controls::TPaintBox::MouseMove, this,
            [this](Qt::MouseButtons, int x, int) { PBMouseMove(Session, x); });
    connect(&PB, &controls::TPaintBox::MouseUp, this,
            [this](Qt::MouseButton, int, int) { PBMouseUp(Session); });
    connect(&Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(&Timer1, &QTimer::timeout, this, [this] {
        if (Refresh) {
            Refresh->Timer1Timer();
        }
    });
    connect(&Timer3, &QTimer::timeout, this, [this] {
        if (Meter) {
            Meter->Timer3Timer();
        }
    });
    PB.OnPaint = [this](QPainter& painter) {
        if (Refresh) {
            Refresh->PBPaint(painter);
        }
    };
}

void TForm1::FormCreate() {
    if (!VersionAccepted(BASS_GetVersion())) {
        QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kBadVersionCaption),
                        QString::fromUtf8(kBadVersionText), QMessageBox::Ok);
        box.exec();
        RequestQuit(kAudioFailureExitCode);
    }
    audioReady_ =
        initAudio_ ? initAudio_(*this) : BASS_Init(kAudioDevice, kAudioRate, 0, this, nullptr) != 0;
    if (!audioReady_) {
        RequestQuit(kAudioFailureExitCode);
    }
    BASS_SetConfig(BASS_CONFIG_PLAYER, kConfigValue);
    Session.SampleRate = kAudioRate;

    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen != nullptr ? screen->geometry().width() : kClientWidth;
    Refresh = std::make_unique<overview::RefreshTick>(
        Session,
        overview::RefreshControls{&PB, &Label3, &Label4, &Label5, &FramSpeedBtn1, &Timer1, &Timer2},
        screenWidth);
    // The previous source's overview goes the moment a new source replaces it.
    Loader.SourceOpened = [this] { Refresh->DiscardOverview(); };

    SetTextColor(Label4, kYellow);
    Label4.setText(QString::fromUtf8(kZeroTime));
    SetTextColor(Label5, kRed);
    Label5.setText(QString::fromUtf8(kZeroTime));
    Panel2.SetColor(kTimePanel);
    Panel6.SetColor(kTimePanel);

    Session.IsCdTrack = false;
    Session.BytesPerPixel.store(0);
    Session.LoopStart.store(0);
    Session.LoopEnd.store(0);
    Session.RepeatMode.store(true);
    Session.Playing.store(false);
    Session.Scanning.store(false);

    Session.RefreshInterval = kRefreshStartMs;
    Timer1.setInterval(kRefreshStartMs);
    Timer1.start();
    Timer2.stop();

    Session.MeterDecay = kMeterFullScale / (kMeterFallMs / Timer3.interval());
    Shape2.resize(0, Shape2.height());
    Shape4.resize(0, Shape4.height());
    Meter = std::make_unique<overview::MeterTick>(
        Session, overview::MeterControls{&Panel1, &Panel2, &PB, &ProgressBar1, &CheckBox5,
                                         &TrackBar1, &Panel6, &Shape2, &Shape4});
    Timer3.start();

    ShowFace(FramSpeedBtn1, kFaceIdle);
    ShowFace(FramSpeedBtn2, kFaceStop);
    ShowFace(FramSpeedBtn3, kFaceRepeat);
    ShowFace(FramSpeedBtn4, kFaceLoad);
}

void TForm1::FormShow() {
    Loader.AutoLoad(ProgramPath);
}

void TForm1::FormResize() {
    Timer2.stop();
    Timer2.start();
}

void TForm1::FormCloseQuery() {
    Timer1.stop();
    Session.BytesPerPixel.store(1);
    Session.Closing.store(true);
    Session.RepeatMode.store(false);
    Session.Playing.store(false);
}

void TForm1::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
    // The library goes down only after the scan thread has ended.
    Scan->CancelAndWait();
    BASS_StreamFree(Session.PlayChannel.exchange(0));
    Session.CdWaveImage.reset();
    BASS_Free();
}

void TForm1::Timer2Timer() {
    Timer2.stop();
    Scan->Timer2Timer(PB.width());
}

void TForm1::ModuleButtonClick(int index) {
    const QString program =
        QString::fromUtf8(kModuleButtons.at(static_cast<std::size_t>(index)).program);
    if (QFileInfo::exists(program)) {
        return;  // the modules are not part of this player: nothing is launched
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle),
                    QString::fromUtf8(kMissingBefore) + program + QString::fromUtf8(kMissingAfter),
                    QMessageBox::Ok, this);
    box.exec();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) {
        return;
    }
    shown_ = true;
    centring_.Start();
    FormShow();
    // Qt may have delivered the first size event before the window was visible: arm the scan
    // debounce once more now that it is shown.
    FormResize();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!destroyed_) {
        FormResize();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

}  // namespace tarvel
