// decode FILE: how fast the engine decodes a file the two ways the program reads it - 20 ms level
// readings on a decode-only channel (the scan) and raw data reads - next to libmpg123's own raw
// decode of the same file in the same run.
#include <mpg123.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/bass.h"
#include "bench/BenchClock.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

using tarvel::bench::OpenDecodeSource;
using tarvel::bench::SecondsOf;
using tarvel::bench::WallTimer;

constexpr DWORD kScanReadBytes = 10240;
constexpr std::size_t kMpg123BufferBytes = 1 << 16;

void FreeSource(DWORD h) {
    BASS_StreamFree(h);
    BASS_MusicFree(h);
}

// Seconds taken; -1 if the file does not open.
double TimeLevelPass(const std::string& path, double* audioSeconds) {
    const DWORD h = OpenDecodeSource(path);
    if (h == 0) {
        return -1.0;
    }
    *audioSeconds = SecondsOf(h, BASS_ChannelGetLength(h));
    WallTimer timer;
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
        if (BASS_ChannelGetLevel(h) == BASS_ERROR_DWORD) {
            break;
        }
    }
    const double t = timer.seconds();
    FreeSource(h);
    return t;
}

double TimeDataPass(const std::string& path) {
    const DWORD h = OpenDecodeSource(path);
    if (h == 0) {
        return -1.0;
    }
    std::vector<char> buffer(kScanReadBytes);
    WallTimer timer;
    for (;;) {
        const DWORD got = BASS_ChannelGetData(h, buffer.data(), kScanReadBytes);
        if (got == BASS_ERROR_DWORD || got == 0) {
            break;
        }
    }
    const double t = timer.seconds();
    FreeSource(h);
    return t;
}

// libmpg123 alone: open, decode to 16-bit to the end. -1 if it does not take the file.
double TimeMpg123(const std::string& path) {
    int error = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) {
        return -1.0;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    double t = -1.0;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buffer(kMpg123BufferBytes);
        WallTimer timer;
        std::size_t done = 0;
        int rc = MPG123_OK;
        do {
            rc = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        } while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT);
        t = timer.seconds();
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return t;
}

int RunDecode(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: tarvel-bench decode FILE\n");
        return 2;
    }
    const std::string& path = args[0];
    double audio = 0.0;
    const double level = TimeLevelPass(path, &audio);
    if (level < 0.0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    const double data = TimeDataPass(path);
    const double mpg = TimeMpg123(path);
    std::printf("audio            %10.1f s\n", audio);
    std::printf("level pass       %10.3f s  %8.1fx real time\n", level, audio / level);
    std::printf("data pass        %10.3f s  %8.1fx real time\n", data, audio / data);
    if (mpg > 0.0) {
        std::printf("libmpg123 alone  %10.3f s  %8.1fx real time\n", mpg, audio / mpg);
        std::printf("level / libmpg123 %9.3f  (goal <= 1.15)\n", level / mpg);
        std::printf("data / libmpg123  %9.3f\n", data / mpg);
    } else {
        std::printf("libmpg123 alone  n/a (not an MPEG file)\n");
    }
    return 0;
}

}  // namespace

TARVEL_BENCH(decode, "FILE",
             "decode to the end by 20 ms level readings, by raw reads, and by libmpg123 alone",
             RunDecode)
