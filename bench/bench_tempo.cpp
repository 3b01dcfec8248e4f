// tempo FILE SPEED: how fast the tempo stream runs at a speed in percent (decode-only, read to
// the end as fast as possible).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/bass.h"
#include "bench/BenchClock.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

constexpr DWORD kReadBytes = 16384;
constexpr int kNormalSpeed = 100;

int RunTempo(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tarvel-bench tempo FILE SPEED\n");
        return 2;
    }
    const int speed = std::atoi(args[1].c_str());
    // Decode-only and without the loop flag, so that reading ends at the end of the source.
    const DWORD source = tarvel::bench::OpenDecodeSource(args[0]);
    const HSTREAM h =
        source ? BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_STREAM_DECODE) : 0;
    if (h == 0) {
        std::fprintf(stderr, "cannot open %s\n", args[0].c_str());
        return 1;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    if (!BASS_FX_TempoSet(h, static_cast<float>(speed - kNormalSpeed),
                          static_cast<float>(info.freq), 0.0f)) {
        std::fprintf(stderr, "speed %d%% refused\n", speed);
        return 1;
    }
    tarvel::bench::ApplyTempoOptions(h);
    const double source_s = tarvel::bench::SecondsOf(h, BASS_ChannelGetLength(h));
    std::vector<char> buffer(kReadBytes);
    QWORD out = 0;
    tarvel::bench::WallTimer timer;
    for (;;) {
        const DWORD got = BASS_ChannelGetData(h, buffer.data(), kReadBytes);
        if (got == BASS_ERROR_DWORD || got == 0) {
            break;
        }
        out += got;
    }
    const double t = timer.seconds();
    const double out_s = tarvel::bench::SecondsOf(h, out);
    std::printf("speed            %10d %%\n", speed);
    std::printf("source           %10.1f s, output %.1f s\n", source_s, out_s);
    std::printf("time             %10.3f s\n", t);
    std::printf("output           %10.1fx real time (goal at 50 %%: >= 150)\n", out_s / t);
    std::printf("source           %10.1fx real time\n", source_s / t);
    BASS_StreamFree(h);
    return 0;
}

}  // namespace

TARVEL_BENCH(tempo, "FILE SPEED", "multiple of real time of the tempo stream at SPEED percent",
             RunTempo)
