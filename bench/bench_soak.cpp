// soak FILE SECONDS: a short loop played over and over for a long time through the engine, the
// way the player loops a marked region (position sync at the end mark, seek back to the start in
// the callback), rendered through the capture output in device-sized blocks. While it runs it
// checks every output sample for a break in the sine (FILE must be a pure sine of --freq Hz),
// measures the length of every pass, and samples the resident memory, so that a seam, a loop
// whose length creeps, or memory that grows pass after pass all show in the figures.
//
// A pass is timed from one sync callback to the next, seen at the output. The callback fires
// when the tempo stream takes the end mark into its stretcher, which buffers its input, so single
// passes measured this way scatter around the true length while the audio itself loops without a
// break; the mean, and whether the seams walk away from their expected places, are the figures
// that show a drift.
//
// By default it renders at the pace of a device (SECONDS of wall time = SECONDS of audio);
// --fast renders as fast as it can for SECONDS of wall time instead.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "bench/BenchClock.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

using tarvel::bench::WallTimer;

constexpr DWORD kDeviceRate = 44100;
// Small blocks: a pass boundary is known to within one block.
constexpr std::size_t kBlockFrames = 64;
constexpr int kNormalSpeed = 100;
constexpr int kFullVolume = 100;
constexpr double kFullScale = 32768.0;
constexpr double kSeamThreshold = 0.01;  // of full scale
// The stretcher's start-up from silence is not a seam.
constexpr double kStartUpSeconds = 0.1;
// Bad samples closer than this belong to one discontinuity.
constexpr double kMergeSeconds = 0.005;
// RSS is taken as the baseline once this much has run, after the buffers have grown.
constexpr double kWarmUpFraction = 0.05;
constexpr int kReportIntervals = 10;
// The mean pass may differ from passes x region / speed by this fraction.
constexpr double kLengthTolerance = 0.01;
// Growth of the resident memory after the warm-up that still counts as flat.
constexpr long kRssToleranceKiB = 1024;

struct Options {
    std::string file;
    double seconds = 0.0;
    int speed = 150;
    double start = 1.0;
    double end = 1.2;
    double freq = 440.0;  // whole cycles in the 200 ms loop
    bool fast = false;
};

struct LoopState {
    std::atomic<QWORD> loopStart{0};
    std::atomic<int> passes{0};
};

// As the player's sync: back to the start mark at the end mark.
void SoakLoopSync(HSYNC, DWORD channel, DWORD, void* user) {
    auto* s = static_cast<LoopState*>(user);
    ++s->passes;
    BASS_ChannelSetPosition(channel, s->loopStart.load());
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool Parse(const std::vector<std::string>& args, Options& o) {
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--speed" && hasValue) {
            o.speed = std::atoi(args[++i].c_str());
        } else if (a == "--start" && hasValue) {
            o.start = std::atof(args[++i].c_str());
        } else if (a == "--end" && hasValue) {
            o.end = std::atof(args[++i].c_str());
        } else if (a == "--freq" && hasValue) {
            o.freq = std::atof(args[++i].c_str());
        } else if (a == "--fast") {
            o.fast = true;
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            return false;
        }
    }
    if (positional.size() != 2) {
        return false;
    }
    o.file = positional[0];
    o.seconds = std::atof(positional[1].c_str());
    return o.seconds > 0.0 && o.start >= 0.0 && o.end > o.start && o.freq > 0.0 && o.speed >= 50 &&
           o.speed <= 400;
}

// Counts breaks in a pure sine, sample by sample, on both channels.
class SeamDetector {
  public:
    SeamDetector(double freq, std::size_t skipFrames)
        : coeff_(2.0 * std::cos(2.0 * std::numbers::pi * freq / kDeviceRate)),
          skip_(skipFrames),
          merge_(static_cast<std::size_t>(kMergeSeconds * kDeviceRate)) {}

    void feed(const std::int16_t* block, std::size_t frames) {
        for (std::size_t f = 0; f < frames; ++f, ++frame_) {
            bool bad = false;
            for (std::size_t c = 0; c < 2; ++c) {
                const double y = block[f * 2 + c];
                if (frame_ >= 2 && frame_ - 1 >= skip_) {
                    const double r = std::abs(y - coeff_ * prev_[c] + prev2_[c]) / kFullScale;
                    worst_ = std::max(worst_, r);
                    bad = bad || r > kSeamThreshold;
                }
                prev2_[c] = prev_[c];
                prev_[c] = y;
            }
            if (bad) {
                if (count_ == 0 || frame_ - lastBad_ > merge_) {
                    ++count_;
                    if (firstAt_ < 0.0) {
                        firstAt_ = static_cast<double>(frame_) / kDeviceRate;
                    }
                }
                lastBad_ = frame_;
            }
        }
    }
    long count() const { return count_; }
    double worst() const { return worst_; }
    double firstAt() const { return firstAt_; }

  private:
    double coeff_;
    std::size_t skip_;
    std::size_t merge_;
    std::size_t frame_ = 0;
    std::size_t lastBad_ = 0;
    double prev_[2] = {0.0, 0.0};
    double prev2_[2] = {0.0, 0.0};
    long count_ = 0;
    double worst_ = 0.0;
    double firstAt_ = -1.0;
};

struct PassStats {
    long passes = 0;
    double sumFrames = 0.0;
    std::size_t minFrames = SIZE_MAX;
    std::size_t maxFrames = 0;

    void add(std::size_t frames) {
        ++passes;
        sumFrames += static_cast<double>(frames);
        minFrames = std::min(minFrames, frames);
        maxFrames = std::max(maxFrames, frames);
    }
    double mean() const { return passes > 0 ? sumFrames / static_cast<double>(passes) : 0.0; }
};

double Ms(double frames) {
    return frames * 1000.0 / kDeviceRate;
}

int RunSoak(const std::vector<std::string>& args) {
    Options o;
    if (!Parse(args, o)) {
        std::fprintf(stderr,
                     "usage: tarvel-bench soak SINE.wav SECONDS [--speed P] [--start S] [--end E] "
                     "[--freq HZ] [--fast]\n");
        return 2;
    }
    if (!tarvel::audio::InitCapture(kDeviceRate)) {
        std::fprintf(stderr, "no capture output\n");
        return 1;
    }
    const HSTREAM h = tarvel::bench::OpenLikePlayer(o.file, kFullVolume);
    if (h == 0) {
        std::fprintf(stderr, "cannot open %s\n", o.file.c_str());
        BASS_Free();
        return 1;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    const QWORD start = BASS_ChannelSeconds2Bytes(h, static_cast<float>(o.start));
    const QWORD end = BASS_ChannelSeconds2Bytes(h, static_cast<float>(o.end));
    if (end >= BASS_ChannelGetLength(h)) {
        std::fprintf(stderr, "the loop must end inside the file\n");
        BASS_Free();
        return 1;
    }
    LoopState loop;
    loop.loopStart = start;
    BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, end, &SoakLoopSync, &loop);
    BASS_ChannelSetPosition(h, start);
    BASS_ChannelPlay(h, 0);
    BASS_FX_TempoSet(h, static_cast<float>(o.speed - kNormalSpeed), static_cast<float>(info.freq),
                     0.0f);
    tarvel::bench::ApplyTempoOptions(h);

    const double regionSeconds =
        tarvel::bench::SecondsOf(h, end) - tarvel::bench::SecondsOf(h, start);
    const double nominalFrames = regionSeconds * kDeviceRate * kNormalSpeed / o.speed;
    SeamDetector seams(o.freq, static_cast<std::size_t>(kStartUpSeconds * kDeviceRate));
    std::vector<std::int16_t> block(kBlockFrames * 2);
    std::size_t frames = 0;
    int seenPasses = 0;
    std::size_t lastBoundary = 0;
    bool haveBoundary = false;
    std::size_t firstBoundary = 0;
    int firstPasses = 0;
    PassStats all;
    PassStats interval;
    // Where each seam falls against where it should: first seam + passes x nominal. It stays
    // within the callback's jitter when the loop keeps its length, and walks off when it drifts.
    double offsetSum = 0.0;
    long offsetCount = 0;
    double offsetWorst = 0.0;
    std::vector<double> offsetMeans;
    long rssWarm = -1;
    long rssMax = 0;
    const long rssStart = ResidentKiB();
    int reported = 0;
    WallTimer wall;
    const auto t0 = std::chrono::steady_clock::now();

    const auto report = [&](double elapsed) {
        ++reported;
        const long rss = ResidentKiB();
        rssMax = std::max(rssMax, rss);
        const double offset = offsetCount > 0 ? offsetSum / static_cast<double>(offsetCount) : 0.0;
        std::printf("%7.0fs %8ld %10.3f %10.3f %10.3f %10.3f %10.1f %9ld\n", elapsed, all.passes,
                    Ms(interval.mean()),
                    Ms(static_cast<double>(interval.passes ? interval.minFrames : 0)),
                    Ms(static_cast<double>(interval.maxFrames)), Ms(offset),
                    static_cast<double>(frames) / kDeviceRate, rss);
        std::fflush(stdout);
        if (offsetCount > 0) {
            offsetMeans.push_back(offset);
        }
        interval = PassStats{};
        offsetSum = 0.0;
        offsetCount = 0;
    };

    std::printf("soak: %s, loop %.3f-%.3f s at %d %% (%.0f frames a pass nominal), %s, %.0f s\n",
                o.file.c_str(), tarvel::bench::SecondsOf(h, start),
                tarvel::bench::SecondsOf(h, end), o.speed, nominalFrames,
                o.fast ? "as fast as possible" : "paced like a device", o.seconds);
    std::printf("%8s %8s %10s %10s %10s %10s %10s %9s\n", "elapsed", "passes", "mean ms", "min ms",
                "max ms", "offset ms", "audio s", "RSS KiB");
    for (;;) {
        const double elapsed = wall.seconds();
        if (elapsed >= o.seconds) {
            break;
        }
        if (BASS_ChannelIsActive(h) != BASS_ACTIVE_PLAYING) {
            std::printf("the channel stopped playing after %.3f s of audio\n",
                        static_cast<double>(frames) / kDeviceRate);
            break;
        }
        tarvel::audio::CaptureRender(block.data(), kBlockFrames);
        seams.feed(block.data(), kBlockFrames);
        frames += kBlockFrames;
        const int p = loop.passes.load();
        if (p != seenPasses) {
            // The seam fell inside this block: a boundary known to within kBlockFrames.
            if (haveBoundary && p == seenPasses + 1) {
                all.add(frames - lastBoundary);
                interval.add(frames - lastBoundary);
                const double offset = static_cast<double>(frames - firstBoundary) -
                                      static_cast<double>(p - firstPasses) * nominalFrames;
                offsetSum += offset;
                ++offsetCount;
                offsetWorst = std::max(offsetWorst, std::abs(offset));
            }
            if (!haveBoundary) {
                firstBoundary = frames;
                firstPasses = p;
            }
            seenPasses = p;
            lastBoundary = frames;
            haveBoundary = true;
        }
        if (rssWarm < 0 && elapsed >= o.seconds * kWarmUpFraction) {
            rssWarm = ResidentKiB();
        }
        if (elapsed >= o.seconds * (reported + 1) / kReportIntervals) {
            report(elapsed);
        }
        if (!o.fast) {
            std::this_thread::sleep_until(
                t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(static_cast<double>(frames) / kDeviceRate)));
        }
    }
    if (reported < kReportIntervals) {
        report(wall.seconds());
    }
    const long rssEnd = ResidentKiB();
    rssMax = std::max(rssMax, rssEnd);
    BASS_StreamFree(h);
    BASS_Free();

    const double audio = static_cast<double>(frames) / kDeviceRate;
    std::printf("ran               %10.1f s wall, %.1f s of audio, %ld passes\n", wall.seconds(),
                audio, all.passes);
    std::printf("discontinuities   %10ld (worst residual %.5f of full scale, limit %.2f)\n",
                seams.count(), seams.worst(), kSeamThreshold);
    if (seams.count() > 0) {
        std::printf("first one at      %10.3f s of audio\n", seams.firstAt());
    }
    if (all.passes > 0) {
        std::printf(
            "pass length       %10.3f ms mean (nominal %.3f ms, %+.4f %%); single passes "
            "%.3f-%.3f ms\n",
            Ms(all.mean()), Ms(nominalFrames), (all.mean() / nominalFrames - 1.0) * 100.0,
            Ms(static_cast<double>(all.minFrames)), Ms(static_cast<double>(all.maxFrames)));
    }
    std::printf(
        "RSS               %10ld KiB at start, %ld after warm-up, %ld at end, %ld max "
        "(%+ld KiB since warm-up)\n",
        rssStart, rssWarm, rssEnd, rssMax, rssEnd - (rssWarm < 0 ? rssStart : rssWarm));

    // The verdict: no seam, no drift of the pass length, memory flat.
    const long growth = rssEnd - (rssWarm < 0 ? rssStart : rssWarm);
    const double drift = offsetMeans.size() >= 2 ? offsetMeans.back() - offsetMeans.front() : 0.0;
    const bool lengthOk =
        all.passes > 0 && std::abs(all.mean() - nominalFrames) < nominalFrames * kLengthTolerance;
    const bool driftOk = std::abs(drift) < static_cast<double>(kBlockFrames);
    const bool memoryOk = growth < kRssToleranceKiB;
    std::printf(
        "seam offset       %10.3f ms worst; drift %+.3f ms from the first tenth's mean "
        "offset to the last's (limit %.3f)\n",
        Ms(offsetWorst), Ms(drift), Ms(kBlockFrames));
    std::printf("verdict           seams %s, pass length %s, drift %s, memory %s\n",
                seams.count() == 0 ? "none" : "FOUND", lengthOk ? "ok" : "WRONG",
                driftOk ? "none" : "FOUND", memoryOk ? "flat" : "GROWING");
    return seams.count() == 0 && lengthOk && driftOk && memoryOk ? 0 : 1;
}

}  // namespace

TARVEL_BENCH(soak, "SINE.wav SECONDS [--speed P] [--start S] [--end E] [--freq HZ] [--fast]",
             "a short loop played for a long time: seams, pass lengths and memory", RunSoak)
