// scan FILE: the waveform scan as the program runs it (ScanController on its own thread, through
// the engine, decoding ahead on every core it may use) next to a single-threaded decode of the
// same file in the same run (libmpg123 for MPEG audio, libsndfile for the rest); the memory the
// scan adds; the time from opening the file to a drawn overview; and the time one refresh tick
// takes to draw the overview and its marks. Run it under taskset to see how it scales:
// bench/scan-scaling FILE.
#include <mpg123.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/decoders/ParallelDecode.h"
#include "bench/BenchClock.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

#if __has_include(<QApplication>)
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "controls/FramBtn.h"
#include "controls/PaintBox.h"
#include "overview/RefreshTick.h"
#include "overview/ScanController.h"
#include "player/PlayerSession.h"
#define TARVEL_BENCH_SCAN 1
#endif

namespace {

#if TARVEL_BENCH_SCAN

using tarvel::bench::OpenLikePlayer;
using tarvel::bench::SecondsOf;
using tarvel::bench::WallTimer;

constexpr int kOverviewWidth = 712;  // PB's width in the window's layout
constexpr int kTicks = 2000;
constexpr std::size_t kMpg123BufferBytes = 1 << 16;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr auto kSampleEvery = std::chrono::milliseconds(2);
constexpr std::size_t kSndfileBufferFrames = 1 << 14;
// BASS_CHANNELINFO::ctype of MPEG layers 1 to 3.
constexpr DWORD kKindMpeg1 = 0x10003;
constexpr DWORD kKindMpeg3 = 0x10005;
// The program's scan debounce (Timer2) between a load and the start of the scan.
constexpr auto kDebounce = std::chrono::milliseconds(100);

// CPU seconds the whole process has used so far (the scan runs on a thread of its own).
double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Resident memory of this process in bytes.
long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct Timing {
    double wall = -1.0;
    double cpu = -1.0;
};

// libmpg123 alone: open, decode to 16-bit to the end. -1 if it does not take the file.
Timing TimeMpg123(const std::string& path) {
    int error = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) {
        return {};
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    Timing t;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buffer(kMpg123BufferBytes);
        const double cpu0 = ProcessCpuSeconds();
        WallTimer timer;
        std::size_t done = 0;
        int rc = MPG123_OK;
        do {
            rc = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        } while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT);
        t.wall = timer.seconds();
        t.cpu = ProcessCpuSeconds() - cpu0;
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return t;
}

// libsndfile alone: open, decode to 16-bit to the end. -1 if it does not take the file.
Timing TimeSndfile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        return {};
    }
    Timing t;
    if (info.channels > 0) {
        std::vector<short> buffer(kSndfileBufferFrames * static_cast<std::size_t>(info.channels));
        const double cpu0 = ProcessCpuSeconds();
        WallTimer timer;
        while (sf_readf_short(file, buffer.data(), kSndfileBufferFrames) > 0) {
        }
        t.wall = timer.seconds();
        t.cpu = ProcessCpuSeconds() - cpu0;
    }
    sf_close(file);
    return t;
}

// Whether the engine opens `path` as MPEG audio (libmpg123 is then the reference).
bool IsMpeg(const std::string& path) {
    const DWORD h = tarvel::bench::OpenDecodeSource(path);
    BASS_CHANNELINFO info{};
    const bool mpeg =
        BASS_ChannelGetInfo(h, &info) && info.ctype >= kKindMpeg1 && info.ctype <= kKindMpeg3;
    BASS_StreamFree(h);
    BASS_MusicFree(h);
    return mpeg;
}

struct ScanFigures {
    double seconds = -1.0;
    double cpuSeconds = -1.0;
    double audioSeconds = 0.0;
    long growthBytes = 0;
    std::uint64_t bytesPerPixel = 0;
};

ScanFigures TimeScan(tarvel::PlayerSession& session) {
    ScanFigures f;
    f.audioSeconds = SecondsOf(session.PlayChannel, BASS_ChannelGetLength(session.PlayChannel));
    const long baseline = ResidentBytes();
    long peak = baseline;
    tarvel::overview::ScanController scan(session);
    const double cpu0 = ProcessCpuSeconds();
    WallTimer timer;
    scan.Timer2Timer(kOverviewWidth);
    while (session.Scanning.load()) {
        peak = std::max(peak, ResidentBytes());
        std::this_thread::sleep_for(kSampleEvery);
    }
    f.seconds = timer.seconds();
    f.cpuSeconds = ProcessCpuSeconds() - cpu0;
    peak = std::max(peak, ResidentBytes());
    f.growthBytes = peak - baseline;
    f.bytesPerPixel = session.BytesPerPixel.load();
    return f;
}

struct TickFigures {
    double meanMs = 0.0;
    double p99Ms = 0.0;
    double maxMs = 0.0;
};

// Refresh ticks while playing, on the scanned session, with the overview shown (offscreen).
TickFigures TimeTicks(tarvel::PlayerSession& session) {
    QWidget window;
    tarvel::controls::TPaintBox PB(&window);
    PB.setGeometry(0, 0, kOverviewWidth, tarvel::overview::kOverviewHeight);
    QLabel Label3(&window), Label4(&window), Label5(&window);
    tarvel::controls::TFramSpeedBtn FramSpeedBtn1(&window);
    FramSpeedBtn1.SetCaption("PAUSE");
    QTimer Timer1, Timer2;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : kOverviewWidth;
    tarvel::overview::RefreshTick tick(
        session,
        tarvel::overview::RefreshControls{&PB, &Label3, &Label4, &Label5, &FramSpeedBtn1, &Timer1,
                                          &Timer2},
        std::max(screenWidth, kOverviewWidth));
    PB.OnPaint = [&tick](QPainter& painter) { tick.PBPaint(painter); };
    window.resize(kOverviewWidth, tarvel::overview::kOverviewHeight);
    window.show();
    session.Playing = true;
    session.LoopStart = session.LoopEnd / 4;

    std::vector<double> ms;
    ms.reserve(kTicks);
    for (int i = 0; i < kTicks; ++i) {
        WallTimer timer;
        tick.Timer1Timer();
        ms.push_back(timer.seconds() * 1000.0);
    }
    Timer1.stop();
    session.Playing = false;
    std::sort(ms.begin(), ms.end());
    TickFigures f;
    for (const double v : ms) {
        f.meanMs += v;
    }
    f.meanMs /= static_cast<double>(ms.size());
    f.p99Ms = ms[ms.size() * 99 / 100];
    f.maxMs = ms.back();
    return f;
}

int RunScan(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: tarvel-bench scan FILE\n");
        return 2;
    }
    const std::string& path = args[0];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int argc = 1;
    char name[] = "tarvel-bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    // The single-threaded reference before and after the scan, so that both passes see the file
    // in the page cache; the faster of the two counts.
    const bool mpeg = IsMpeg(path);
    const auto reference = [&] { return mpeg ? TimeMpg123(path) : TimeSndfile(path); };
    const Timing refBefore = reference();

    tarvel::PlayerSession session;
    session.CurrentFileName = path;
    WallTimer openTimer;
    session.PlayChannel = OpenLikePlayer(path, session.Volume.load());
    const double openSeconds = openTimer.seconds();
    if (session.PlayChannel == 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    session.LoopEnd = BASS_ChannelGetLength(session.PlayChannel);
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(session.PlayChannel, &info);
    session.SampleRate = info.freq;
    session.ChannelCount = info.chans;

    std::this_thread::sleep_for(kDebounce);
    const ScanFigures scan = TimeScan(session);
    const TickFigures tick = TimeTicks(session);
    // Open, debounce and scan as measured, and one tick's drawing at its mean.
    const double overviewSeconds = openSeconds + std::chrono::duration<double>(kDebounce).count() +
                                   scan.seconds + tick.meanMs / 1000.0;
    const Timing refAfter = reference();
    const double ref = std::min(refBefore.wall, refAfter.wall);
    const double refCpu = std::min(refBefore.cpu, refAfter.cpu);
    const char* refName = mpeg ? "libmpg123 alone " : "libsndfile alone";
    BASS_StreamFree(session.PlayChannel.exchange(0));

    std::printf("audio             %10.1f s\n", scan.audioSeconds);
    std::printf("BytesPerPixel     %10llu\n", static_cast<unsigned long long>(scan.bytesPerPixel));
    std::printf("decode threads    %10u\n", tarvel::audio::DecodeAheadThreads());
    std::printf("scan              %10.3f s  %8.1fx real time, %.3f s CPU\n", scan.seconds,
                scan.audioSeconds / scan.seconds, scan.cpuSeconds);
    if (ref > 0.0) {
        std::printf("%s  %10.3f s  %8.1fx real time, %.3f s CPU\n", refName, ref,
                    scan.audioSeconds / ref, refCpu);
        std::printf("scan / reference  %10.3f    wall (goal <= 0.60 on 2 cores)\n",
                    scan.seconds / ref);
        std::printf("scan / reference  %10.3f    CPU\n", scan.cpuSeconds / refCpu);
        std::printf("load to overview  %10.3f s  open %.3f s + 100 ms + scan + one tick\n",
                    overviewSeconds, openSeconds);
        std::printf("overview / ref    %10.3f    wall (goal <= 0.7)\n", overviewSeconds / ref);
    } else {
        std::printf("reference         n/a (neither libmpg123 nor libsndfile decodes it)\n");
    }
    std::printf("memory growth     %10.2f MiB (goal < 64)\n",
                static_cast<double>(scan.growthBytes) / kMiB);
    std::printf("refresh tick      %10.3f ms mean, %.3f ms p99, %.3f ms max (goal < 2)\n",
                tick.meanMs, tick.p99Ms, tick.maxMs);
    return 0;
}

#else

int RunScan(const std::vector<std::string>&) {
    std::fprintf(stderr, "tarvel-bench scan needs the GUI build (TARVEL_GUI=ON)\n");
    return 2;
}

#endif

}  // namespace

TARVEL_BENCH(scan, "FILE",
             "the waveform scan next to libmpg123's raw decode, its memory growth, and one "
             "refresh tick's drawing time",
             RunScan)
