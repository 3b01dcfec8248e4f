// play FILE: CPU time of the rendering per second of audio at 100 % and 400 %, measured with the
// thread CPU clock around the capture output's render calls (the rendering the render thread does
// for the device).
#include <cstdio>
#include <string>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "bench/BenchClock.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

constexpr DWORD kDeviceRate = 44100;
// SDL asks for blocks of about this size at 44.1 kHz with our buffer limit.
constexpr std::size_t kBlockFrames = 1024;
constexpr double kRenderSeconds = 120.0;
constexpr int kVolume = 50;
constexpr int kNormalSpeed = 100;

// Percent of one core used per second of output; -1 on failure.
double MeasureAt(const std::string& path, int speed) {
    const HSTREAM h = tarvel::bench::OpenLikePlayer(path, kVolume);
    if (h == 0) {
        return -1.0;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    BASS_ChannelPlay(h, 0);
    BASS_FX_TempoSet(h, static_cast<float>(speed - kNormalSpeed), static_cast<float>(info.freq),
                     0.0f);
    tarvel::bench::ApplyTempoOptions(h);
    std::vector<std::int16_t> block(kBlockFrames * 2);
    const auto blocks = static_cast<std::size_t>(kRenderSeconds * kDeviceRate / kBlockFrames);
    const double cpu0 = tarvel::bench::ThreadCpuSeconds();
    for (std::size_t i = 0; i < blocks; ++i) {
        tarvel::audio::CaptureRender(block.data(), kBlockFrames);
    }
    const double cpu = tarvel::bench::ThreadCpuSeconds() - cpu0;
    BASS_StreamFree(h);
    const double audio = static_cast<double>(blocks * kBlockFrames) / kDeviceRate;
    return cpu / audio * 100.0;
}

int RunPlay(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: tarvel-bench play FILE\n");
        return 2;
    }
    if (!tarvel::audio::InitCapture(kDeviceRate)) {
        std::fprintf(stderr, "no capture output\n");
        return 1;
    }
    const double normal = MeasureAt(args[0], 100);
    const double fast = MeasureAt(args[0], 400);
    BASS_Free();
    if (normal < 0.0 || fast < 0.0) {
        std::fprintf(stderr, "cannot open %s\n", args[0].c_str());
        return 1;
    }
    std::printf("mixing thread CPU per second of audio (looping the file, %.0f s each):\n",
                kRenderSeconds);
    std::printf("  at 100 %%  %6.3f %% of one core (goal < 1 %%)\n", normal);
    std::printf("  at 400 %%  %6.3f %% of one core (goal < 3 %%)\n", fast);
    return 0;
}

}  // namespace

TARVEL_BENCH(play, "FILE", "CPU time of the mixing thread per second of audio at 100 % and 400 %",
             RunPlay)
