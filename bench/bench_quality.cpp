// quality: what the listener hears at the places where playback is cut or joined, measured on
// the capture output (the engine's own mixer, no device):
//  - loop seams: the high-frequency burst a seam makes, relative to the signal, on a 440 Hz sine
//    looped over 0.5011 s (the end half a cycle out of phase with the start) and on a synthetic
//    voiced speech-like signal (harmonics of a gliding 120 Hz voice, all below 2 kHz, so that
//    anything above 5 kHz is the seam's), at 50 to 400 %, next to the same measure of straight
//    play without seams (the stretcher's own floor);
//  - transport: the largest sample step at pause, resume, a jump of the position, a volume
//    change and stop, next to the signal's own largest step;
//  - the stretcher itself, next to soundstretch and rubberband: bench/stretch_quality.py, run
//    with this build's tarvel-render and the arguments given here, when it and its tools exist.
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/FadeCurve.h"
#include "audio/SeamSplice.h"
#include "audio/WavWriter.h"
#include "audio/bass.h"
#include "bench/BenchRegistry.h"
#include "bench/PlayerLikeOpen.h"

namespace {

namespace audio = tarvel::audio;

constexpr DWORD kRate = 44100;
constexpr double kAmplitude = 0.5;
constexpr double kFullScale = 32767.0;
constexpr double kSineHz = 440.0;
constexpr double kSineLoopStart = 1.0;
constexpr double kSineLoopSeconds = 0.5011;
constexpr double kVoiceLoopStart = 1.2345;
constexpr double kVoiceLoopSeconds = 0.6789;
constexpr double kMaterialSeconds = 8.0;
constexpr int kPasses = 6;
// Where single play ends, from the sine's loop start: mid-wave.
constexpr QWORD kLoopSecondsToBytes = 2 * 13289;
// Output skipped before measuring: the stretcher's start-up and the high-pass filter's settling.
constexpr double kSkipSeconds = 0.25;
constexpr double kBurstWindowSeconds = 0.005;
constexpr double kHighPassHz = 5000.0;
constexpr int kSpeeds[] = {50, 75, 100, 150, 200, 400};
// stretch_quality.py exits with this when a tool it compares against is missing.
constexpr int kToolMissing = 3;

std::vector<std::int16_t> SineMaterial() {
    const auto n = static_cast<std::size_t>(kMaterialSeconds * kRate);
    std::vector<std::int16_t> s(n);
    const double w = 2.0 * std::numbers::pi * kSineHz / kRate;
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<std::int16_t>(
            std::lround(kAmplitude * kFullScale * std::sin(w * static_cast<double>(i))));
    }
    return s;
}

// A voice-like harmonic signal: a fundamental gliding around 120 Hz, harmonics shaped by three
// formants, a syllable-rate swell; nothing at or above 2 kHz.
std::vector<std::int16_t> VoiceMaterial() {
    const auto n = static_cast<std::size_t>(kMaterialSeconds * kRate);
    constexpr double kTopHz = 2000.0;
    constexpr double kRollOffHz = 1500.0;
    constexpr std::array<double, 3> kFormants = {600.0, 1100.0, 1800.0};
    constexpr double kFormantWidth = 150.0;
    std::vector<double> y(n, 0.0);
    double phase = 0.0;
    double peak = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f0 = 120.0 + 20.0 * std::sin(2.0 * std::numbers::pi * 0.7 * t);
        phase += 2.0 * std::numbers::pi * f0 / kRate;
        const double swell = 0.65 + 0.35 * std::sin(2.0 * std::numbers::pi * 3.0 * t);
        double v = 0.0;
        for (int h = 1; h * f0 < kTopHz; ++h) {
            double a = 0.05;
            for (const double f : kFormants) {
                const double d = (h * f0 - f) / kFormantWidth;
                a += 1.0 / (1.0 + d * d);
            }
            // Harmonics fade out towards the top, so none switches on or off with a click.
            const double over = (h * f0 - kRollOffHz) / (kTopHz - kRollOffHz);
            if (over > 0.0) {
                a *= 0.5 + 0.5 * std::cos(std::numbers::pi * over);
            }
            v += a / h * std::sin(h * phase);
        }
        y[i] = swell * v;
        peak = std::max(peak, std::abs(y[i]));
    }
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<std::int16_t>(std::lround(y[i] / peak * kAmplitude * kFullScale));
    }
    return s;
}

// 8th-order Butterworth high-pass as four biquads (bilinear transform).
class HighPass {
  public:
    HighPass(double cutoff, double rate) {
        constexpr std::array<double, 4> kQ = {0.50980, 0.60134, 0.89998, 2.56292};
        const double w0 = 2.0 * std::numbers::pi * cutoff / rate;
        for (std::size_t k = 0; k < kQ.size(); ++k) {
            const double alpha = std::sin(w0) / (2.0 * kQ[k]);
            const double c = std::cos(w0);
            const double a0 = 1.0 + alpha;
            stages_[k] = {(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0,
                          -2.0 * c / a0, (1.0 - alpha) / a0};
        }
    }
    double operator()(double x) {
        for (Stage& s : stages_) {
            const double y = s.b0 * x + s.b1 * s.x1 + s.b2 * s.x2 - s.a1 * s.y1 - s.a2 * s.y2;
            s.x2 = s.x1;
            s.x1 = x;
            s.y2 = s.y1;
            s.y1 = y;
            x = y;
        }
        return x;
    }

  private:
    struct Stage {
        double b0, b1, b2, a1, a2;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    std::array<Stage, 4> stages_{};
};

// The loudest high-frequency window after the start-up, relative to the signal's mean energy
// per window, in dB.
double BurstDb(const std::vector<std::int16_t>& left) {
    const auto skip = static_cast<std::size_t>(kSkipSeconds * kRate);
    const auto window = static_cast<std::size_t>(kBurstWindowSeconds * kRate);
    if (left.size() < skip + window * 4) {
        return 0.0;
    }
    HighPass hp(kHighPassHz, kRate);
    std::vector<double> hf(left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        hf[i] = hp(left[i]);
    }
    double signal = 0.0;
    for (std::size_t i = skip; i < left.size(); ++i) {
        signal += static_cast<double>(left[i]) * left[i];
    }
    signal = signal / static_cast<double>(left.size() - skip) * static_cast<double>(window);
    double worst = 0.0;
    double run = 0.0;
    for (std::size_t i = skip; i < left.size(); ++i) {
        run += hf[i] * hf[i];
        if (i >= skip + window) {
            run -= hf[i - window] * hf[i - window];
        }
        worst = std::max(worst, run);
    }
    return 10.0 * std::log10(std::max(worst, 1e-30) / std::max(signal, 1e-30));
}

struct Loop {
    QWORD start = 0;
};

void SeekBack(HSYNC, DWORD channel, DWORD, void* user) {
    const auto* loop = static_cast<const Loop*>(user);
    if (!BASS_ChannelSetPosition(channel, loop->start)) {
        BASS_ChannelSetPosition(channel, 0);
    }
}

HSTREAM OpenAtSpeed(const std::string& path, int speed) {
    const HSTREAM h = tarvel::bench::OpenLikePlayer(path, 100);
    BASS_FX_TempoSet(h, static_cast<float>(speed - 100), static_cast<float>(kRate), 0.0f);
    tarvel::bench::ApplyTempoOptions(h);
    return h;
}

std::vector<std::int16_t> RenderLeft(std::size_t frames) {
    constexpr std::size_t kBlock = 256;
    std::vector<std::int16_t> left;
    left.reserve(frames);
    std::vector<std::int16_t> block(kBlock * 2);
    while (left.size() < frames) {
        const std::size_t n = std::min(kBlock, frames - left.size());
        tarvel::audio::CaptureRender(block.data(), n);
        for (std::size_t f = 0; f < n; ++f) {
            left.push_back(block[f * 2]);
        }
    }
    return left;
}

// With TARVEL_QUALITY_DUMP=DIR every rendering is also written there as a WAV, to listen to.
void Dump(const std::vector<std::int16_t>& left, const std::string& name) {
    static int count = 0;
    const char* dir = std::getenv("TARVEL_QUALITY_DUMP");
    if (dir == nullptr) {
        return;
    }
    tarvel::audio::WavWriter wav(
        std::string(dir) + "/" + std::to_string(++count) + "-" + name + ".wav", kRate, 1);
    wav.write(left.data(), left.size());
}

// Output of the passes over the region (looped), or as much straight play.
std::vector<std::int16_t> Render(const std::string& path, int speed, double start, double seconds,
                                 bool looped) {
    const HSTREAM h = OpenAtSpeed(path, speed);
    Loop loop{static_cast<QWORD>(std::llround(start * kRate)) * 2};
    const QWORD end = loop.start + static_cast<QWORD>(std::llround(seconds * kRate)) * 2;
    if (looped) {
        BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, end, &SeekBack, &loop);
    }
    BASS_ChannelSetPosition(h, loop.start);
    BASS_ChannelPlay(h, 0);
    const double outSeconds = kPasses * seconds * 100.0 / speed + kSkipSeconds;
    // Straight play must not run off the material's end.
    const double room = (kMaterialSeconds - start - 0.1) * 100.0 / speed;
    const double render = looped ? outSeconds : std::min(outSeconds, room);
    std::vector<std::int16_t> out = RenderLeft(static_cast<std::size_t>(render * kRate));
    BASS_StreamFree(h);
    Dump(out, std::to_string(speed) + (looped ? "-loop" : "-straight"));
    return out;
}

void PrintSeams(const char* name, const std::string& path, double start, double seconds) {
    std::printf(
        "seam burst, %s, loop %.4f s from %.4f s, %d passes (dB, high-pass %.0f Hz, "
        "%.0f ms windows, worst after %.2f s)\n",
        name, seconds, start, kPasses, kHighPassHz, kBurstWindowSeconds * 1000.0, kSkipSeconds);
    std::printf("  speed %%   seams   straight play\n");
    for (const int speed : kSpeeds) {
        const double seams = BurstDb(Render(path, speed, start, seconds, true));
        const double straight = BurstDb(Render(path, speed, start, seconds, false));
        std::printf("  %7d %7.1f %15.1f\n", speed, seams, straight);
    }
}

// Largest |y[n+1] - y[n]| over [from, to).
int LargestStep(const std::vector<std::int16_t>& y, std::size_t from, std::size_t to) {
    int worst = 0;
    for (std::size_t n = from; n + 1 < std::min(to, y.size()); ++n) {
        worst = std::max(worst, std::abs(y[n + 1] - y[n]));
    }
    return worst;
}

void PrintTransport(const std::string& path) {
    constexpr std::size_t kStep = kRate / 10;        // 100 ms between events
    constexpr std::size_t kBefore = kRate / 200;     // 5 ms before an event
    constexpr std::size_t kAfter = kRate * 3 / 100;  // 30 ms after it
    std::printf(
        "transport steps, %g Hz sine at %.0f %% of full scale (largest sample step "
        "within 5 ms before to 30 ms after each event; the sine's own: %d)\n",
        kSineHz, kAmplitude * 100.0,
        static_cast<int>(kAmplitude * kFullScale * 2.0 * std::numbers::pi * kSineHz / kRate));
    std::printf("  speed %%   %-8s %-8s %-8s %-8s %-8s %-8s %-8s own\n", "start", "pause", "resume",
                "jump", "vol 30", "vol 100", "stop");
    for (const int speed : {100, 150}) {
        const HSTREAM h = OpenAtSpeed(path, speed);
        std::vector<std::int16_t> out;
        std::vector<std::size_t> at;
        const auto run = [&](std::size_t frames) {
            const std::vector<std::int16_t> part = RenderLeft(frames);
            out.insert(out.end(), part.begin(), part.end());
        };
        BASS_ChannelSetPosition(h, static_cast<QWORD>(kSineLoopStart * kRate) * 2 + 2 * 123);
        run(kStep);
        at.push_back(out.size());
        BASS_ChannelPlay(h, 0);
        run(3 * kStep);
        at.push_back(out.size());
        BASS_ChannelStop(h);  // the player's pause
        run(kStep);
        at.push_back(out.size());
        BASS_ChannelPlay(h, 0);
        run(3 * kStep);
        at.push_back(out.size());
        BASS_ChannelSetPosition(h, static_cast<QWORD>(2.3456 * kRate) * 2);
        run(3 * kStep);
        at.push_back(out.size());
        BASS_ChannelSetAttributes(h, -1, 30, -101);
        run(3 * kStep);
        at.push_back(out.size());
        BASS_ChannelSetAttributes(h, -1, 100, -101);
        run(3 * kStep);
        at.push_back(out.size());
        BASS_ChannelStop(h);
        run(kStep);
        BASS_StreamFree(h);
        Dump(out, "transport-" + std::to_string(speed));
        std::printf("  %7d", speed);
        for (const std::size_t a : at) {
            std::printf("   %-6d", LargestStep(out, a - std::min(a, kBefore), a + kAfter));
        }
        const std::size_t quiet = at[1] + kStep;  // well inside the first stretch of play
        std::printf("   %d\n", LargestStep(out, quiet, quiet + kStep));
    }
}

void StopHere(HSYNC, DWORD channel, DWORD, void*) {
    BASS_ChannelStop(channel);
}

// Single play ends at the end mark as the audio there is: how long it lasts against
// region / speed, whether its last 5 ms are the source's frames before the mark (the share of
// the frames over which the end's fade keeps half or more that have the source's sign and are no
// larger: a fade of them), and the largest step after the start (a mark in mid-wave).
void PrintSinglePlayEnd(const std::string& path, const std::vector<std::int16_t>& source) {
    constexpr std::size_t kEndFrames = kRate / 200;
    const auto start = static_cast<std::size_t>(kSineLoopStart * kRate);
    const std::size_t region = kLoopSecondsToBytes / 2;
    std::printf(
        "single play to a mark in mid-wave (the sine's own step: %d)\n",
        static_cast<int>(kAmplitude * kFullScale * 2.0 * std::numbers::pi * kSineHz / kRate));
    std::printf("  speed %%  length - region/speed (ms)  last 5 ms from the mark (%%)  step\n");
    for (const int speed : kSpeeds) {
        const HSTREAM h = OpenAtSpeed(path, speed);
        BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, (start + region) * 2, &StopHere,
                            nullptr);
        BASS_ChannelSetPosition(h, static_cast<QWORD>(start) * 2);
        BASS_ChannelPlay(h, 0);
        std::vector<std::int16_t> out;
        while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING && out.size() < kRate * 10) {
            const std::vector<std::int16_t> part = RenderLeft(64);
            out.insert(out.end(), part.begin(), part.end());
        }
        const std::vector<std::int16_t> after = RenderLeft(kRate / 10);
        out.insert(out.end(), after.begin(), after.end());
        BASS_StreamFree(h);
        std::size_t length = out.size();
        while (length > 0 && out[length - 1] == 0) {
            --length;
        }
        const double expected = static_cast<double>(region) * 100.0 / speed;
        // Where the fade-out to the end still keeps half the sound or more: silence or other
        // audio there does not match.
        std::size_t matching = 0;
        const auto end = static_cast<std::size_t>(std::lround(expected));
        for (std::size_t k = kEndFrames / 2 + 1; k <= kEndFrames && k <= end; ++k) {
            const int x = out[end - k];
            const int y = source[start + region - k];
            matching += std::abs(x) <= std::abs(y) + 1 &&
                        (std::abs(y) < 4 || (x != 0 && (x > 0) == (y > 0)));
        }
        std::printf("  %7d  %26.1f  %27.0f  %5d\n", speed,
                    (static_cast<double>(length) - expected) * 1000.0 / kRate,
                    100.0 * static_cast<double>(matching) / static_cast<double>(kEndFrames / 2),
                    LargestStep(out, kRate / 100, out.size()));
    }
}

// The seam crossfade's shape and length, tried outside the engine on the source itself (what
// 100 % plays): the burst it leaves at the seams, and how the loudness moves through it when the
// two sides are unrelated (speech at two marks) or identical (a seam that happens to match).
std::vector<std::int16_t> SplicedPasses(const std::vector<std::int16_t>& source, double start,
                                        double seconds, std::size_t frames,
                                        audio::FadeCurve::Shape shape) {
    const auto from = static_cast<std::size_t>(std::llround(start * kRate));
    const auto length = static_cast<std::size_t>(std::llround(seconds * kRate));
    audio::SeamSplice splice(frames, 1, shape);
    std::vector<std::int16_t> out;
    for (int pass = 0; pass < kPasses; ++pass) {
        std::vector<std::int16_t> region(
            source.begin() + static_cast<std::ptrdiff_t>(from),
            source.begin() + static_cast<std::ptrdiff_t>(from + length));
        if (pass > 0) {
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(from + length), frames,
                        splice.continuation());
            splice.begin(frames);
            splice.apply(region.data(), region.size());
        }
        out.insert(out.end(), region.begin(), region.end());
    }
    return out;
}

void PrintFadeChoice(const std::vector<std::int16_t>& sine,
                     const std::vector<std::int16_t>& voice) {
    std::printf(
        "seam crossfade shape and length, applied to the source (dB): burst on the sine "
        "and the voice; loudness through it, unrelated sides (min) and identical (max)\n");
    std::printf("  shape          ms    sine   voice   unrelated   identical\n");
    using Shape = audio::FadeCurve::Shape;
    for (const auto& [shape, name] : {std::pair{Shape::EqualPower, "equal-power"},
                                      std::pair{Shape::RaisedCosine, "raised-cos"}}) {
        for (const double ms : {2.5, 5.0, 10.0, 20.0}) {
            const std::size_t frames = audio::FadeFrames(kRate, ms / 1000.0);
            const double s =
                BurstDb(SplicedPasses(sine, kSineLoopStart, kSineLoopSeconds, frames, shape));
            const double v =
                BurstDb(SplicedPasses(voice, kVoiceLoopStart, kVoiceLoopSeconds, frames, shape));
            const audio::FadeCurve curve(frames, shape);
            double unrelated = 0.0;
            double identical = -100.0;
            for (std::size_t k = 0; k < frames; ++k) {
                const double in = curve.in(k);
                const double out = curve.out(k);
                unrelated = std::min(unrelated, 10.0 * std::log10(in * in + out * out));
                identical = std::max(identical, 20.0 * std::log10(in + out));
            }
            std::printf("  %-12s %4.1f %7.1f %7.1f %11.1f %11.1f\n", name, ms, s, v, unrelated,
                        identical);
        }
    }
}

std::string ShellQuoted(const std::string& s) {
    std::string q = "'";
    for (const char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// The stretcher comparison; its tables follow ours on stdout. Missing pieces are one line, not
// a failure: the seams and transport above stand on their own.
int RunStretchQuality(const std::vector<std::string>& args) {
    namespace fs = std::filesystem;
    const fs::path script = fs::path(TARVEL_SOURCE_DIR) / "bench" / "stretch_quality.py";
    const fs::path python = "/usr/bin/python3";
    std::error_code ec;
    const fs::path build = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
    const fs::path render = build / "bench" / "tarvel-render";
    for (const fs::path& p : {script, python, render}) {
        if (!fs::exists(p, ec)) {
            std::printf("\nstretcher comparison skipped: %s not found\n", p.c_str());
            return 0;
        }
    }
    std::string cmd = ShellQuoted(python) + " " + ShellQuoted(script) + " " + ShellQuoted(build);
    for (const std::string& a : args) {
        cmd += " " + ShellQuoted(a);
    }
    std::printf("\nstretcher comparison (%s)\n", script.c_str());
    std::fflush(stdout);
    const int status = std::system(cmd.c_str());
    // The script has said which tool is missing.
    return status == 0 || (WIFEXITED(status) && WEXITSTATUS(status) == kToolMissing) ? 0 : 1;
}

int RunQuality(const std::vector<std::string>& args) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvel-quality-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string sine = (dir / "sine.wav").string();
    const std::string voice = (dir / "voice.wav").string();
    const std::vector<std::int16_t> sineMaterial = SineMaterial();
    const std::vector<std::int16_t> voiceMaterial = VoiceMaterial();
    for (const auto& [path, pcm] :
         {std::pair{sine, &sineMaterial}, std::pair{voice, &voiceMaterial}}) {
        tarvel::audio::WavWriter wav(path, kRate, 1);
        wav.write(pcm->data(), pcm->size());
        wav.close();
    }
    if (!tarvel::audio::InitCapture(kRate)) {
        std::fprintf(stderr, "no capture output\n");
        return 1;
    }
    PrintSeams("440 Hz sine, end half a cycle out of phase", sine, kSineLoopStart,
               kSineLoopSeconds);
    PrintSeams("synthetic voiced speech-like signal", voice, kVoiceLoopStart, kVoiceLoopSeconds);
    PrintTransport(sine);
    PrintSinglePlayEnd(sine, sineMaterial);
    BASS_Free();
    PrintFadeChoice(sineMaterial, voiceMaterial);
    std::filesystem::remove_all(dir);
    return RunStretchQuality(args);
}

}  // namespace

TARVEL_BENCH(quality, "[stretch_quality.py options]",
             "seam bursts, transport steps and the stretcher as the listener hears them",
             RunQuality)
