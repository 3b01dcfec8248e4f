// Playback through the real sound device (SDL's driver as the environment picks it; the bench
// script points it at a private PulseAudio server and records what comes out):
//
//   device_play FILE SPEED SECONDS   plays FILE from its start at SPEED % for SECONDS, then
//                                    prints the device callback's figures
//   device_latency play|seek|speed FILE ROUNDS [SPEED]
//                                    acts on the playing channel ROUNDS times and prints the
//                                    steady-clock time of every action, for the script to find
//                                    the moment each was heard:
//       play   PLAY after the device has gone to sleep (asleep) and right after a pause (awake)
//       seek   a jump to 12 s while playing the first seconds of FILE
//       (both at SPEED %, 100 unless given: a start sounds once a few tenths of a second are
//       rendered, which takes longest at the fastest speed)
//       speed  100 % to 400 % while playing
//
// Times are CLOCK_MONOTONIC seconds, the clock Python's time.monotonic() reads.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/OutputStats.h"
#include "audio/bass.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

using std::chrono::milliseconds;

constexpr DWORD kDeviceRate = 44100;
constexpr int kFullVolume = 100;
constexpr int kNormalSpeed = 100;
constexpr int kFastSpeed = 400;
constexpr double kSeekTargetSeconds = 12.0;
// Pauses of the latency script: the device falls asleep a second after the last sound.
constexpr milliseconds kAsleep{2000};
constexpr milliseconds kHeard{600};
constexpr milliseconds kBetween{300};

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Mark(const char* action) {
    std::printf("action %s %.6f\n", action, Now());
    std::fflush(stdout);
}

void SetSpeed(HSTREAM h, int speed) {
    BASS_FX_TempoSet(h, static_cast<float>(speed - kNormalSpeed), static_cast<float>(kDeviceRate),
                     0.0f);
    tarvel::bench::ApplyTempoOptions(h);
}

void PrintFigures() {
    const tarvel::audio::CallbackFigures f = tarvel::audio::OutputCallbackFigures();
    std::printf("callbacks %llu\n", static_cast<unsigned long long>(f.calls));
    std::printf("callback longest %.4f ms\n", static_cast<double>(f.longestNs) / 1e6);
    std::printf("callback p99 %.4f ms\n", static_cast<double>(f.p99Ns) / 1e6);
    std::printf("callback longest gap %.2f ms\n", static_cast<double>(f.longestGapNs) / 1e6);
    std::printf("underruns %llu\n", static_cast<unsigned long long>(f.underruns));
}

HSTREAM OpenOnDevice(const std::string& path) {
    if (!BASS_Init(-1, kDeviceRate, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "no sound device\n");
        return 0;
    }
    const HSTREAM h = tarvel::bench::OpenLikePlayer(path, kFullVolume);
    if (h == 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        BASS_Free();
    }
    return h;
}

int RunDevicePlay(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tarvel-bench device_play FILE SPEED SECONDS\n");
        return 2;
    }
    const HSTREAM h = OpenOnDevice(args[0]);
    if (h == 0) {
        return 1;
    }
    const auto seconds = std::atof(args[2].c_str());
    BASS_ChannelPlay(h, 0);
    SetSpeed(h, std::atoi(args[1].c_str()));
    tarvel::audio::ResetOutputCallbackFigures();
    Mark("play");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    PrintFigures();
    BASS_ChannelStop(h);
    Mark("stop");
    BASS_Free();
    return 0;
}

int RunDeviceLatency(const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() > 4 ||
        (args[0] != "play" && args[0] != "seek" && args[0] != "speed")) {
        std::fprintf(stderr,
                     "usage: tarvel-bench device_latency play|seek|speed FILE ROUNDS [SPEED]\n");
        return 2;
    }
    const int speed = args.size() == 4 ? std::atoi(args[3].c_str()) : kNormalSpeed;
    const std::string& what = args[0];
    const HSTREAM h = OpenOnDevice(args[1]);
    if (h == 0) {
        return 1;
    }
    const int rounds = std::atoi(args[2].c_str());
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    const auto seekTo =
        static_cast<QWORD>(kSeekTargetSeconds * info.freq) * info.chans * sizeof(std::int16_t);
    if (what != "speed") {
        SetSpeed(h, speed);
    }
    for (int r = 0; r < rounds; ++r) {
        BASS_ChannelSetPosition(h, 0);
        if (what == "play") {
            std::this_thread::sleep_for(kAsleep);
            Mark("play-asleep");
            BASS_ChannelPlay(h, 0);
            std::this_thread::sleep_for(kHeard);
            BASS_ChannelStop(h);
            std::this_thread::sleep_for(kBetween);
            Mark("play-awake");
            BASS_ChannelPlay(h, 0);
            std::this_thread::sleep_for(kHeard);
            BASS_ChannelStop(h);
        } else if (what == "seek") {
            BASS_ChannelPlay(h, 0);
            std::this_thread::sleep_for(kHeard);
            Mark("seek");
            BASS_ChannelSetPosition(h, seekTo);
            std::this_thread::sleep_for(kHeard);
            BASS_ChannelStop(h);
        } else {
            SetSpeed(h, kNormalSpeed);
            BASS_ChannelPlay(h, 0);
            std::this_thread::sleep_for(kHeard);
            Mark("speed");
            SetSpeed(h, kFastSpeed);
            std::this_thread::sleep_for(kHeard);
            BASS_ChannelStop(h);
        }
        std::this_thread::sleep_for(kBetween);
    }
    PrintFigures();
    BASS_Free();
    return 0;
}

}  // namespace

TARVEL_BENCH(device_play, "FILE SPEED SECONDS",
             "plays FILE through the sound device and reports the device callback's run times",
             RunDevicePlay)
TARVEL_BENCH(device_latency, "play|seek|speed FILE ROUNDS [SPEED]",
             "acts on a channel playing through the sound device and prints when", RunDeviceLatency)
