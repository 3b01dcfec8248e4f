// Exact seeks in every format the stream and music forms open: after a seek to any frame the
// decoder gives exactly the samples a sequential decode of the same file gives there, and a
// repeat loop gives the same audio on every pass. The material is encoded here by the same tools
// users' files come from (sox, flac, oggenc, opusenc, lame, twolame) and by our own writers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "audio/Decoder.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using decoder_test::ReadAll;
using decoder_test::ReadFrames;
using Path = std::filesystem::path;

// Frames compared after each seek: longer than the 0.45 s a low-rate MPEG stream once got wrong.
constexpr std::size_t kWindowFrames = 4096;
constexpr int kRandomSeeks = 30;
constexpr int kLoopPasses = 4;

// Writes the case's file from `wav` (a signal at `rate`, `channels`) and returns its path.
using Maker = std::function<bool(const TempDir& dir, const Path& wav, Path& out)>;

struct SeekCase {
    const char* name;
    std::uint32_t rate;
    std::uint32_t channels;
    Maker make;
    bool music = false;
    // Largest difference to the sequential decode allowed in one sample.
    int tolerance = 0;
};

Maker Sox(const char* ext, std::vector<std::string> options = {}) {
    return [ext, options](const TempDir& dir, const Path& wav, Path& out) {
        out = dir.file(std::string("a.") + ext);
        return ConvertWithSox(wav, out, options);
    };
}

Maker Tool(const char* ext, std::vector<std::string> before, std::vector<std::string> after = {}) {
    return [=](const TempDir& dir, const Path& wav, Path& out) {
        out = dir.file(std::string("a.") + ext);
        std::vector<std::string> argv = before;
        argv.push_back(wav.string());
        argv.insert(argv.end(), after.begin(), after.end());
        argv.push_back(out.string());
        return RunTool(argv, out);
    };
}

Maker Lame(std::vector<std::string> options) {
    options.insert(options.begin(), {"lame", "--quiet"});
    return Tool("mp3", options);
}

const SeekCase kCases[] = {
    {"wav16", 44100, 2, Sox("wav")},
    {"wav8", 22050, 1, Sox("wav", {"-b", "8"})},
    {"wavfloat", 48000, 2, Sox("wav", {"-e", "floating-point"})},
    {"wav_msadpcm", 44100, 2, Sox("wav", {"-e", "ms-adpcm"})},
    {"wav_imaadpcm", 22050, 2, Sox("wav", {"-e", "ima-adpcm"})},
    {"wav_gsm", 8000, 1, Sox("wav", {"-e", "gsm-full-rate"})},
    {"aiff", 44100, 2, Sox("aiff")},
    {"au", 8000, 1, Sox("au")},
    {"w64", 44100, 2, Sox("w64")},
    {"voc", 22050, 1, Sox("voc")},
    {"flac", 44100, 2,
     [](const TempDir&, const Path& wav, Path& out) {
         out = wav.parent_path() / "a.flac";
         return EncodeFlac(wav, out);
     }},
    {"flac24", 96000, 2,
     [](const TempDir& dir, const Path& wav, Path& out) {
         out = dir.file("a.flac");
         return ConvertWithSox(wav, dir.file("w24.wav"), {"-b", "24"}) &&
                EncodeFlac(dir.file("w24.wav"), out);
     }},
    {"ogg_flac", 44100, 2,
     [](const TempDir&, const Path& wav, Path& out) {
         out = wav.parent_path() / "a.oga";
         return EncodeFlac(wav, out, true);
     }},
    {"vorbis", 44100, 2,
     [](const TempDir&, const Path& wav, Path& out) {
         out = wav.parent_path() / "a.ogg";
         return EncodeVorbis(wav, out, 3);
     }},
    {"vorbis_low", 8000, 1,
     [](const TempDir&, const Path& wav, Path& out) {
         out = wav.parent_path() / "a.ogg";
         return EncodeVorbis(wav, out, 0);
     }},
    {"vorbis_6ch", 48000, 6,
     [](const TempDir&, const Path& wav, Path& out) {
         out = wav.parent_path() / "a.ogg";
         return EncodeVorbis(wav, out, 2);
     }},
    {"opus", 48000, 2, Tool("opus", {"opusenc", "--quiet"})},
    {"mp3_128", 44100, 2, Lame({"-b", "128"})},
    {"mp3_vbr", 44100, 2, Lame({"-V", "5"})},
    {"mpeg2_32k", 22050, 2, Lame({"-b", "32"})},
    {"mpeg2_8k", 16000, 1, Lame({"-b", "8"})},
    // At 8 kHz an MPEG-2.5 seek restarts the decoder where a frame's data runs short of the
    // reservoir, and libmpg123's synthesis filter then sums in another order: now and then one
    // sample in thousands rounds the other way.
    {"mpeg25_8k", 8000, 1, Lame({"-b", "8"}), false, 1},
    {"mp3_freeformat", 44100, 2, Lame({"--freeformat", "-b", "400"})},
    {"mp2", 44100, 2, Tool("mp2", {"twolame", "--quiet", "-b", "192"})},
    {"mp1", 44100, 2,
     [](const TempDir& dir, const Path&, Path& out) {
         out = dir.file("a.mp1");
         WriteBytes(out, EncodeMp1Tone({44100, 2, 150, 4, 0.5}));
         return true;
     }},
    // A module seek puts libopenmpt at the row before the frame and renders on from there, in
    // milliseconds; the mixer state it rebuilds there (a sample's fractional position) may round
    // one step apart from a decode from the song's start, which would take seconds to reach the
    // end of a long song.
    {"module", 44100, 2,
     [](const TempDir& dir, const Path&, Path& out) {
         out = dir.file("a.mod");
         WriteBytes(out, EncodeMod({3, 32}));
         return true;
     },
     true, 1},
    {"module_songs", 44100, 2,
     [](const TempDir& dir, const Path&, Path& out) {
         out = dir.file("s.mod");
         WriteBytes(out, EncodeMod({2, 24, 3}));
         return true;
     },
     true, 1},
};

void PrintTo(const SeekCase& c, std::ostream* os) {
    *os << c.name;
}

class ExactSeeks : public ::testing::TestWithParam<SeekCase> {};

std::unique_ptr<audio::Decoder> Open(const SeekCase& c, const Path& p) {
    return c.music ? audio::OpenMusicFile(p, 0, true) : audio::OpenStreamFile(p);
}

// Frames where `got` first differs (by more than `tolerance`) from the sequential decode at `at`,
// or -1 if it does not.
long FirstDifference(const std::vector<std::int16_t>& all, std::uint32_t channels, std::uint64_t at,
                     const std::vector<std::int16_t>& got, int tolerance) {
    const std::size_t frames = all.size() / channels;
    const std::size_t want = std::min<std::size_t>(kWindowFrames, frames - at);
    for (std::size_t i = 0; i < std::min(want, got.size() / channels) * channels; ++i) {
        if (std::abs(got[i] - all[at * channels + i]) > tolerance) {
            return static_cast<long>(i / channels);
        }
    }
    return got.size() == want * channels ? -1 : static_cast<long>(got.size() / channels);
}

TEST_P(ExactSeeks, EverySeekGivesTheSequentialDecodesSamples) {
    const auto& c = GetParam();
    TempDir dir("seek");
    const Path wav = dir.file("in.wav");
    // Noise with a sweep under it: every frame differs from its neighbours, and the codecs have
    // work to do in every band.
    Pcm pcm = MakeNoise(c.rate, c.channels, c.rate * 6, 11, 0.25);
    const Pcm sweep = MakeSine(c.rate, c.channels, c.rate * 6, c.rate / 40.0, 0.25);
    for (std::size_t i = 0; i < pcm.samples.size(); ++i) {
        pcm.samples[i] = static_cast<std::int16_t>(pcm.samples[i] + sweep.samples[i]);
    }
    WriteWav(wav, pcm);
    Path file;
    ASSERT_TRUE(c.make(dir, wav, file)) << "encoding " << c.name;

    auto sequential = Open(c, file);
    ASSERT_NE(sequential, nullptr) << c.name;
    const std::uint32_t ch = sequential->channels();
    const auto all = ReadAll(*sequential, 1111);
    const std::uint64_t frames = all.size() / ch;
    ASSERT_EQ(frames, sequential->lengthFrames()) << c.name;
    ASSERT_GT(frames, kWindowFrames);

    auto d = Open(c, file);
    ASSERT_NE(d, nullptr);
    std::mt19937_64 gen(5);
    std::vector<std::uint64_t> targets = {frames / 2, 0, 1, frames - 1, frames, frames / 3};
    for (int i = 0; i < kRandomSeeks; ++i) {
        targets.push_back(gen() % frames);
    }
    int wrong = 0;
    std::string first;
    for (const std::uint64_t t : targets) {
        const bool moved = d->seek(t);
        const long diff =
            moved ? FirstDifference(all, ch, t, ReadFrames(*d, kWindowFrames), c.tolerance) : 0;
        if (!moved || diff >= 0) {
            if (wrong++ == 0) {
                first = "seek to " + std::to_string(t) +
                        (moved ? " differs from frame " + std::to_string(diff) : " refused");
            }
        }
    }
    EXPECT_EQ(wrong, 0) << c.name << ": " << wrong << " of " << targets.size()
                        << " seeks wrong; first: " << first;

    // A repeat loop over one region: every pass sounds the same as the straight decode.
    const std::uint64_t loopStart = frames * 2 / 5;
    for (int pass = 0; pass < kLoopPasses; ++pass) {
        ASSERT_TRUE(d->seek(loopStart));
        EXPECT_EQ(FirstDifference(all, ch, loopStart, ReadFrames(*d, kWindowFrames), c.tolerance),
                  -1)
            << c.name << " pass " << pass;
    }
}

INSTANTIATE_TEST_SUITE_P(Decoders, ExactSeeks, ::testing::ValuesIn(kCases),
                         ::tarvel::test::CaseName());

}  // namespace
}  // namespace tarvel::test
