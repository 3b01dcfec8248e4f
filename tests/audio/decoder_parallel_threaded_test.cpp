// Decoding ahead on helper threads gives, frame for frame, what one decoder read straight
// through gives: for every format the stream and music forms open, from the start and from a
// later frame, across a seek, and for files cut short. Segments are made small and of a length
// that is no multiple of any codec's frame, so that every file is cut in many odd places.
#include <gtest/gtest.h>

#include <functional>

#include "audio/Decoder.h"
#include "audio/decoders/ParallelDecode.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/ProcessThreads.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::DecodeAhead;
using audio::ParallelSettings;
using decoder_test::ReadAll;
using Path = std::filesystem::path;

constexpr unsigned kThreads = 3;
constexpr std::size_t kSlots = 4;
// 20 ms at 44.1 kHz, the scan's reading.
constexpr std::size_t kReadFrames = 882;

using Maker = std::function<bool(const TempDir& dir, const Path& wav, Path& out)>;

struct SplitCase {
    const char* name;
    std::uint32_t rate;
    std::uint32_t channels;
    Maker make;
    bool splits;  // decoded ahead; otherwise it stays sequential
    bool music = false;
};

Maker Tool(const char* ext, std::vector<std::string> before) {
    return [=](const TempDir& dir, const Path& wav, Path& out) {
        out = dir.file(std::string("a.") + ext);
        std::vector<std::string> argv = before;
        argv.push_back(wav.string());
        argv.push_back(out.string());
        return RunTool(argv, out);
    };
}

Maker Lame(std::vector<std::string> options) {
    options.insert(options.begin(), {"lame", "--quiet"});
    return Tool("mp3", options);
}

Maker Sox(const char* ext) {
    return [ext](const TempDir& dir, const Path& wav, Path& out) {
        out = dir.file(std::string("a.") + ext);
        return ConvertWithSox(wav, out);
    };
}

const SplitCase kCases[] = {
    {"wav", 44100, 2, Sox("wav"), false},
    {"aiff", 44100, 2, Sox("aiff"), false},
    {"flac", 44100, 2,
     [](const TempDir& dir, const Path& wav, Path& out) {
         out = dir.file("a.flac");
         return EncodeFlac(wav, out);
     },
     true},
    {"ogg_flac", 44100, 1,
     [](const TempDir& dir, const Path& wav, Path& out) {
         out = dir.file("a.oga");
         return EncodeFlac(wav, out, true);
     },
     true},
    {"vorbis", 44100, 2,
     [](const TempDir& dir, const Path& wav, Path& out) {
         out = dir.file("a.ogg");
         return EncodeVorbis(wav, out, 3);
     },
     true},
    {"vorbis_6ch", 48000, 6,
     [](const TempDir& dir, const Path& wav, Path& out) {
         out = dir.file("a.ogg");
         return EncodeVorbis(wav, out, 2);
     },
     true},
    {"mp3_cbr", 44100, 2, Lame({"-b", "128"}), true},
    {"mp3_vbr", 44100, 2, Lame({"-V", "5"}), true},
    {"mp3_no_info_tag", 44100, 2, Lame({"-b", "160", "-t"}), true},
    {"mp3_32k", 44100, 2, Lame({"-b", "32", "--resample", "44.1"}), true},
    {"mp3_48k_320", 48000, 2, Lame({"-b", "320"}), true},
    // MPEG-2 and 2.5 seeks are not always bit-exact (see MpegDecoder): sequential.
    {"mpeg2_32k", 22050, 2, Lame({"-b", "32"}), false},
    {"mpeg2_8k_mono", 16000, 1, Lame({"-b", "8"}), false},
    {"mpeg25_8k", 8000, 1, Lame({"-b", "8"}), false},
    {"mp2", 44100, 2, Tool("mp2", {"twolame", "--quiet", "-b", "192"}), true},
    {"mp2_mpeg2", 22050, 2, Tool("mp2", {"twolame", "--quiet", "-b", "64"}), false},
    {"mp1", 44100, 2,
     [](const TempDir& dir, const Path&, Path& out) {
         out = dir.file("a.mp1");
         WriteBytes(out, EncodeMp1Tone({44100, 2, 700, 4, 0.5}));
         return true;
     },
     true},
    {"module", 44100, 2,
     [](const TempDir& dir, const Path&, Path& out) {
         out = dir.file("a.mod");
         WriteBytes(out, EncodeMod({3, 32}));
         return true;
     },
     false, true},
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

std::unique_ptr<audio::Decoder> Open(const SplitCase& c, const Path& p) {
    return c.music ? audio::OpenMusicFile(p, 0, true) : audio::OpenStreamFile(p);
}

// Odd, so that no segment starts at a codec frame boundary; several per second at any rate.
ParallelSettings SmallSegments(std::uint32_t rate) {
    return {rate / 4 + 17, kSlots};
}

// Noise over a sweep: every frame differs from its neighbours and every band has work in it.
Pcm Signal(std::uint32_t rate, std::uint32_t channels, std::size_t seconds) {
    Pcm pcm = MakeNoise(rate, channels, rate * seconds, 3, 0.25);
    const Pcm sweep = MakeSine(rate, channels, rate * seconds, rate / 40.0, 0.25);
    for (std::size_t i = 0; i < pcm.samples.size(); ++i) {
        pcm.samples[i] = static_cast<std::int16_t>(pcm.samples[i] + sweep.samples[i]);
    }
    return pcm;
}

// Reads to the end in the scan's steps.
std::vector<std::int16_t> ReadThrough(audio::Decoder& d) {
    return ReadAll(d, kReadFrames);
}

std::vector<std::int16_t> Tail(const std::vector<std::int16_t>& all, std::uint32_t channels,
                               std::uint64_t from) {
    return {all.begin() + static_cast<std::ptrdiff_t>(from * channels), all.end()};
}

class SplitDecode : public ::testing::TestWithParam<SplitCase> {
  protected:
    void SetUp() override {
        const auto& c = GetParam();
        const Path wav = dir_.file("in.wav");
        WriteWav(wav, Signal(c.rate, c.channels, 6));
        ASSERT_TRUE(c.make(dir_, wav, file_)) << "encoding " << c.name;
        auto sequential = Open(c, file_);
        ASSERT_NE(sequential, nullptr);
        channels_ = sequential->channels();
        all_ = ReadAll(*sequential, 1000);
        frames_ = all_.size() / channels_;
        ASSERT_EQ(frames_, sequential->lengthFrames());
    }

    // The case's decoder taken over by a parallel one from `from`, or left sequential.
    std::unique_ptr<audio::Decoder> Ahead(std::uint64_t from, unsigned threads = kThreads) {
        const auto& c = GetParam();
        auto d = Open(c, file_);
        if (d == nullptr || (from > 0 && !d->seek(from))) {
            ADD_FAILURE() << "cannot open at " << from;
            return nullptr;
        }
        auto parallel = DecodeAhead(d, from, threads, SmallSegments(c.rate));
        EXPECT_EQ(parallel != nullptr, c.splits) << c.name;
        if (parallel == nullptr) {
            EXPECT_NE(d, nullptr) << "a refused split must leave the decoder";
            return d;
        }
        EXPECT_EQ(d, nullptr);
        EXPECT_EQ(parallel->lengthFrames(), frames_);
        EXPECT_EQ(parallel->channels(), channels_);
        return parallel;
    }

    TempDir dir_{"split"};
    Path file_;
    std::uint32_t channels_ = 0;
    std::vector<std::int16_t> all_;
    std::uint64_t frames_ = 0;
};

TEST_P(SplitDecode, WholeStreamIsTheSequentialDecode) {
    for (const unsigned threads : {2U, kThreads}) {
        auto d = Ahead(0, threads);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(ReadThrough(*d) == all_) << threads << " threads";
        EXPECT_TRUE(ReadThrough(*d).empty()) << "more after the end";
    }
}

TEST_P(SplitDecode, FromALaterFrameAndAfterASeek) {
    if (!GetParam().splits) {
        GTEST_SKIP() << "sequential: its seeks are the decoder's own (decoder_seek_test)";
    }
    const std::uint64_t from = frames_ / 3 + 7;
    auto d = Ahead(from);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(ReadThrough(*d) == Tail(all_, channels_, from)) << "from " << from;

    // Back to an earlier frame in the middle of a read: the helpers start over there.
    auto e = Ahead(0);
    ASSERT_NE(e, nullptr);
    const auto head = decoder_test::ReadFrames(*e, frames_ / 2);
    ASSERT_EQ(head.size(), frames_ / 2 * channels_);
    const std::uint64_t back = frames_ / 5 + 3;
    ASSERT_TRUE(e->seek(back));
    EXPECT_TRUE(ReadThrough(*e) == Tail(all_, channels_, back)) << "after a seek to " << back;
    EXPECT_FALSE(e->seek(frames_ + 1));
    ASSERT_TRUE(e->seek(frames_));
    EXPECT_TRUE(ReadThrough(*e).empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, SplitDecode, ::testing::ValuesIn(kCases),
                         ::tarvel::test::CaseName());

// A file cut short decodes in parallel to exactly what it decodes to sequentially, or stays
// sequential: an MP3 whose info tag promises more frames than are left seeks off by the
// encoder's delay.
TEST(SplitDecodeDamage, TruncatedFilesDecodeWhatTheyCanTheSameWay) {
    TempDir dir("splitcut");
    const Path wav = dir.file("in.wav");
    WriteWav(wav, Signal(44100, 2, 6));
    struct Cut {
        const char* name;
        Maker make;
        bool splits;
    };
    const Cut cuts[] = {
        {"mp3_info_tag", Lame({"-b", "128"}), false},
        {"mp3_no_info_tag", Lame({"-b", "128", "-t"}), true},
        {"flac",
         [](const TempDir& d, const Path& w, Path& out) {
             out = d.file("a.flac");
             return EncodeFlac(w, out);
         },
         true},
        {"vorbis",
         [](const TempDir& d, const Path& w, Path& out) {
             out = d.file("a.ogg");
             return EncodeVorbis(w, out, 3);
         },
         true},
    };
    for (const auto& [name, make, splits] : cuts) {
        Path file;
        ASSERT_TRUE(make(dir, wav, file)) << name;
        auto bytes = ReadBytes(file);
        bytes.resize(bytes.size() * 3 / 5);
        WriteBytes(file, bytes);
        auto sequential = audio::OpenStreamFile(file);
        ASSERT_NE(sequential, nullptr) << name;
        const auto all = ReadAll(*sequential, 1000);
        auto d = audio::OpenStreamFile(file);
        auto parallel = DecodeAhead(d, 0, kThreads, SmallSegments(44100));
        ASSERT_EQ(parallel != nullptr, splits) << name;
        if (parallel) {
            const auto got = ReadThrough(*parallel);
            EXPECT_EQ(got.size(), all.size()) << name;
            EXPECT_TRUE(got == all) << name;
        }
    }
}

// Dropped in the middle of a read (the scan stopped), no helper outlives the decoder.
TEST(SplitDecodeLifetime, NoHelperOutlivesTheDecoder) {
    TempDir dir("splitend");
    const Path wav = dir.file("in.wav");
    WriteWav(wav, Signal(44100, 2, 6));
    Path file;
    ASSERT_TRUE(Lame({"-b", "128"})(dir, wav, file));
    const std::size_t before = ThreadsOfThisProcess();
    {
        auto d = audio::OpenStreamFile(file);
        auto parallel = DecodeAhead(d, 0, kThreads, SmallSegments(44100));
        ASSERT_NE(parallel, nullptr);
        EXPECT_EQ(decoder_test::ReadFrames(*parallel, 5000).size(), 5000U * 2);
        EXPECT_GT(ThreadsOfThisProcess(), before);
    }
    EXPECT_EQ(ThreadsOfThisProcess(), before);
}

}  // namespace
}  // namespace tarvel::test
