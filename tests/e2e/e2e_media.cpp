// Writes the test media of the end-to-end tests that no installed tool writes: layer-1 MPEG
// streams, tracker modules and audio-CD images with their ".cda" stubs.
//
//   tarvel-e2e-media mp1 OUT SECONDS [ON_START ON_END]...
//       a layer-1 stream of SECONDS, with a steady tone inside each ON interval, silent elsewhere
//   tarvel-e2e-media mod OUT PATTERNS ROWS
//       a 4-channel module of PATTERNS patterns of ROWS rows (0.12 s per row)
//   tarvel-e2e-media disc DIR PCM
//       DIR/disc.bin, DIR/disc.cue and DIR/track01.cda from raw 16-bit stereo 44.1 kHz PCM
//   tarvel-e2e-media long-mp3 OUT FRAMES [HZ]
//       an MP3 of exactly FRAMES frames of 1152 samples of a 44.1 kHz stereo tone (440 Hz), for
//       hours
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tests/support/DiscImage.h"
#include "tests/support/LongRecording.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/TestAudio.h"

namespace {

using tarvel::test::kMp1SamplesPerFrame;

constexpr double kMp1Rate = 44100.0;
constexpr double kToneAmplitude = 0.5;
constexpr int kToneSubband = 2;

int Usage() {
    std::fprintf(stderr,
                 "usage: tarvel-e2e-media mp1 OUT SECONDS [ON_START ON_END]...\n"
                 "       tarvel-e2e-media mod OUT PATTERNS ROWS\n"
                 "       tarvel-e2e-media disc DIR PCM\n"
                 "       tarvel-e2e-media long-mp3 OUT FRAMES [HZ]\n");
    return 2;
}

std::size_t FrameAt(double seconds) {
    return static_cast<std::size_t>(std::llround(seconds * kMp1Rate / kMp1SamplesPerFrame));
}

// Layer-1 frames carry no state from one to the next, so runs of tone and of silence simply
// follow each other.
int WriteMp1(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() % 2 != 0) {
        return Usage();
    }
    const std::size_t total = FrameAt(std::stod(args[1]));
    std::vector<bool> on(total, false);
    for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
        for (std::size_t f = FrameAt(std::stod(args[i]));
             f < FrameAt(std::stod(args[i + 1])) && f < total; ++f) {
            on[f] = true;
        }
    }
    std::vector<std::uint8_t> out;
    for (std::size_t f = 0; f < total;) {
        std::size_t run = 0;
        while (f + run < total && on[f + run] == on[f]) {
            ++run;
        }
        tarvel::test::Mp1Options o;
        o.frames = run;
        o.subband = kToneSubband;
        o.amplitude = on[f] ? kToneAmplitude : 0.0;
        const auto frames = tarvel::test::EncodeMp1Tone(o);
        out.insert(out.end(), frames.begin(), frames.end());
        f += run;
    }
    tarvel::test::WriteBytes(args[0], out);
    return 0;
}

int WriteMod(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return Usage();
    }
    tarvel::test::ModOptions o;
    o.patterns = std::stoi(args[1]);
    o.rowsPerPattern = std::stoi(args[2]);
    tarvel::test::WriteBytes(args[0], tarvel::test::EncodeMod(o));
    return 0;
}

int WriteDisc(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return Usage();
    }
    const std::filesystem::path dir = args[0];
    const auto raw = tarvel::test::ReadBytes(args[1]);
    tarvel::test::Pcm pcm;
    pcm.samples.resize(raw.size() / 2);
    for (std::size_t i = 0; i < pcm.samples.size(); ++i) {
        pcm.samples[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    }
    const auto disc = tarvel::test::WriteDiscImage(dir, {pcm});
    tarvel::test::WriteCdaStub(dir / "track01.cda", disc.tracks.at(0));
    return 0;
}

int WriteLongMp3(const std::vector<std::string>& args) {
    if (args.size() != 2 && args.size() != 3) {
        return Usage();
    }
    const double hz = args.size() == 3 ? std::stod(args[2]) : 440.0;
    return tarvel::test::WriteLongMp3(args[0], std::stoull(args[1]), hz) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "mp1") {
            return WriteMp1(args);
        }
        if (command == "mod") {
            return WriteMod(args);
        }
        if (command == "disc") {
            return WriteDisc(args);
        }
        if (command == "long-mp3") {
            return WriteLongMp3(args);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvel-e2e-media: %s\n", e.what());
        return 1;
    }
    return Usage();
}
