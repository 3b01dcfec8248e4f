// tarvel-render: plays a file the way the player does, through the capture output, and writes
// what the device would have received to a WAV file.
//
//   tarvel-render IN OUT.wav [--start S] [--end E] [--speed P] [--repeat|--single]
//                 [--passes N] [--volume V] [--tempo-option ID=VALUE]...
//
// It opens like LOAD (decode-only source, module as fallback, tempo stream with options 3=32
// and 4=20, volume, end sync), then sets the marks like the mouse does (position sync at the end
// mark, seek to the start mark) and plays like PLAY (seek to the start, play, tempo, options).
// In repeat play the callback seeks back at each end mark; after N passes the tool switches to
// single play, as a user would, so the last pass stops exactly at the end mark.
// --tempo-option sets one more stretcher option after the player's (e.g. 3=40 for a 40 ms
// sequence, 5=8 for an 8 ms overlap), so that other settings can be heard and measured.
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/WavWriter.h"
#include "audio/bass.h"
#include "bench/PlayerLikeOpen.h"

namespace {

constexpr DWORD kDeviceRate = 44100;
constexpr std::size_t kBlockFrames = 256;
constexpr int kNormalSpeed = 100;
constexpr int kDefaultVolume = 50;
// Never renders more than this, whatever the options say.
constexpr double kMaxRenderSeconds = 3600.0;

struct Options {
    std::string in;
    std::string out;
    double start = 0.0;
    double end = -1.0;  // none: the end-of-source sync
    int speed = kNormalSpeed;
    bool repeat = true;
    int passes = 1;
    int volume = kDefaultVolume;
    std::vector<std::pair<DWORD, DWORD>> tempoOptions;
};

// What the player's sync callback reads, and a pass count for the tool.
struct RenderSession {
    std::atomic<QWORD> loopStart{0};
    std::atomic<bool> repeat{true};
    std::atomic<int> passes{0};
};

void RenderLoopSync(HSYNC, DWORD channel, DWORD, void* user) {
    auto* s = static_cast<RenderSession*>(user);
    ++s->passes;
    if (s->repeat.load()) {
        if (!BASS_ChannelSetPosition(channel, s->loopStart.load())) {
            BASS_ChannelSetPosition(channel, 0);
        }
    } else {
        BASS_ChannelStop(channel);
    }
}

bool Parse(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--start" && hasValue) {
            o.start = std::atof(argv[++i]);
        } else if (a == "--end" && hasValue) {
            o.end = std::atof(argv[++i]);
        } else if (a == "--speed" && hasValue) {
            o.speed = std::atoi(argv[++i]);
        } else if (a == "--passes" && hasValue) {
            o.passes = std::atoi(argv[++i]);
        } else if (a == "--volume" && hasValue) {
            o.volume = std::atoi(argv[++i]);
        } else if (a == "--tempo-option" && hasValue) {
            const std::string_view v = argv[++i];
            DWORD id = 0;
            DWORD value = 0;
            const auto [idEnd, idErr] = std::from_chars(v.data(), v.data() + v.size(), id);
            if (idErr != std::errc() || idEnd == v.data() + v.size() || *idEnd != '=') {
                return false;
            }
            const auto [end, err] = std::from_chars(idEnd + 1, v.data() + v.size(), value);
            if (err != std::errc() || end != v.data() + v.size()) {
                return false;
            }
            o.tempoOptions.emplace_back(id, value);
        } else if (a == "--repeat") {
            o.repeat = true;
        } else if (a == "--single") {
            o.repeat = false;
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            return false;
        }
    }
    if (positional.size() != 2 || o.passes < 1 || o.start < 0.0) {
        return false;
    }
    o.in = positional[0];
    o.out = positional[1];
    return true;
}

int Run(const Options& o) {
    if (!tarvel::audio::InitCapture(kDeviceRate)) {
        std::fprintf(stderr, "no capture output\n");
        return 1;
    }
    // LOAD.
    RenderSession session;
    const HSTREAM h = tarvel::bench::OpenLikePlayer(o.in, o.volume);
    if (h == 0) {
        std::fprintf(stderr, "cannot open %s\n", o.in.c_str());
        BASS_Free();
        return 1;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    HSYNC sync =
        BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &RenderLoopSync, &session);
    const QWORD length = BASS_ChannelGetLength(h);
    // The marks, as the mouse sets them.
    const QWORD start = BASS_ChannelSeconds2Bytes(h, static_cast<float>(o.start));
    QWORD end = length;
    if (o.end >= 0.0) {
        end = BASS_ChannelSeconds2Bytes(h, static_cast<float>(o.end));
        if (end >= length || end <= start) {
            std::fprintf(stderr, "the end mark must lie after the start and inside the file\n");
            BASS_Free();
            return 1;
        }
        BASS_ChannelRemoveSync(h, sync);
        sync = BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, end, &RenderLoopSync,
                                   &session);
    }
    if (start >= length) {
        std::fprintf(stderr, "the start mark lies beyond the end of the file\n");
        BASS_Free();
        return 1;
    }
    session.loopStart = start;
    session.repeat = o.repeat && o.passes > 1;
    // PLAY.
    if (!BASS_ChannelSetPosition(h, start)) {
        BASS_ChannelSetPosition(h, 0);
    }
    BASS_ChannelPlay(h, 0);
    BASS_FX_TempoSet(h, static_cast<float>(o.speed - kNormalSpeed), static_cast<float>(info.freq),
                     0.0f);
    tarvel::bench::ApplyTempoOptions(h);
    for (const auto& [id, value] : o.tempoOptions) {
        if (!BASS_FX_TempoSetOption(h, id, value)) {
            std::fprintf(stderr, "tempo option %lu=%lu refused\n", static_cast<unsigned long>(id),
                         static_cast<unsigned long>(value));
            BASS_Free();
            return 1;
        }
    }

    tarvel::audio::WavWriter wav(o.out, kDeviceRate, 2);
    if (!wav.ok()) {
        std::fprintf(stderr, "cannot write %s\n", o.out.c_str());
        BASS_Free();
        return 1;
    }
    std::vector<std::int16_t> block(kBlockFrames * 2);
    std::size_t frames = 0;
    const auto limit = static_cast<std::size_t>(kMaxRenderSeconds * kDeviceRate);
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING && frames < limit) {
        if (session.passes.load() >= o.passes - 1) {
            session.repeat = false;  // the last pass: stop at its end
        }
        tarvel::audio::CaptureRender(block.data(), kBlockFrames);
        std::size_t n = kBlockFrames;
        if (BASS_ChannelIsActive(h) != BASS_ACTIVE_PLAYING) {
            // The block in which playback stopped is padded with silence: leave that out.
            while (n > 0 && block[(n - 1) * 2] == 0 && block[(n - 1) * 2 + 1] == 0) {
                --n;
            }
        }
        wav.write(block.data(), n);
        frames += n;
    }
    const bool ok = wav.close();
    std::printf("%s: %.3f s rendered, %d pass(es), speed %d %%, region %.3f-%.3f s\n",
                o.out.c_str(), static_cast<double>(frames) / kDeviceRate, session.passes.load(),
                o.speed, tarvel::bench::SecondsOf(h, start), tarvel::bench::SecondsOf(h, end));
    BASS_Free();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: tarvel-render IN OUT.wav [--start S] [--end E] [--speed P] "
                     "[--repeat|--single] [--passes N] [--volume V] "
                     "[--tempo-option ID=VALUE]...\n");
        return 2;
    }
    return Run(options);
}
