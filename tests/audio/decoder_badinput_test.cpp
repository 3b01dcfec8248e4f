// Bad input of every kind through all four open paths: each gives no decoder, or one that
// decodes what it can and stops, without crashing, hanging or reading out of bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "audio/Decoder.h"
#include "audio/decoders/MpegProbe.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/DiscImage.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::Decoder;
using decoder_test::ReadAll;

constexpr const char* kExtensions[] = {".mp3",  ".mp2",  ".mp1",  ".wav", ".aif",
                                       ".aiff", ".aifc", ".flac", ".ogg", ".mod",
                                       ".xm",   ".it",   ".s3m",  ".cda", ""};

// A decoder that opened must keep its word: exactly its length in frames, then 0.
void ExpectHonest(Decoder& d, const std::string& what) {
    EXPECT_GE(d.channels(), 1u) << what;
    EXPECT_GT(d.rate(), 0u) << what;
    const auto all = ReadAll(d, 4096);
    EXPECT_EQ(all.size() / d.channels(), d.lengthFrames()) << what;
    std::int16_t tail[16];
    EXPECT_TRUE(d.read(tail, 4).ended()) << what;
}

void TryEveryOpen(const std::filesystem::path& p, bool streamMustFail, bool cdMustFail = true) {
    const std::string what = p.filename().string();
    if (auto d = audio::OpenStreamFile(p)) {
        EXPECT_FALSE(streamMustFail) << what << " opened as a stream";
        ExpectHonest(*d, what);
    }
    if (auto d = audio::OpenMusicFile(p, 0, true)) {
        ExpectHonest(*d, what + " (music)");
    }
    auto cd = audio::OpenCdTrack(p);
    if (cdMustFail) {
        EXPECT_EQ(cd, nullptr) << what;
    }
}

TEST(BadInput, EmptyFilesUnderEveryExtension) {
    TempDir dir("empty");
    for (const char* ext : kExtensions) {
        const auto p = dir.file(std::string("empty") + ext);
        WriteBytes(p, {});
        EXPECT_EQ(audio::OpenStreamFile(p), nullptr) << ext;
        EXPECT_EQ(audio::OpenMusicFile(p, 0, true), nullptr) << ext;
        EXPECT_EQ(audio::OpenCdTrack(p), nullptr) << ext;
    }
}

TEST(BadInput, RandomBytesUnderEveryExtension) {
    TempDir dir("random");
    std::uint32_t seed = 100;
    for (const char* ext : kExtensions) {
        for (std::size_t size :
             {std::size_t{3}, std::size_t{44}, std::size_t{4096}, std::size_t{200000}}) {
            const auto p = dir.file(std::string("r") + std::to_string(size) + ext);
            WriteBytes(p, RandomBytes(size, ++seed));
            TryEveryOpen(p, true);
        }
    }
}

TEST(BadInput, DirectoriesFifosAndDanglingLinksAreRefusedWithoutWaiting) {
    TempDir dir("special");
    const auto sub = dir.file("folder.wav");
    std::filesystem::create_directory(sub);
    const auto fifo = dir.file("pipe.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto link = dir.file("dangling.wav");
    std::filesystem::create_symlink(dir.file("nowhere.wav"), link);
    for (const auto& p : {sub, fifo, link, dir.file("absent.mp3")}) {
        EXPECT_EQ(audio::OpenStreamFile(p), nullptr) << p;
        EXPECT_EQ(audio::OpenMusicFile(p, 0, true), nullptr) << p;
        EXPECT_EQ(audio::OpenCdTrack(p), nullptr) << p;
    }
}

TEST(BadInput, UnreadableFile) {
    TempDir dir("perm");
    const auto p = dir.file("locked.wav");
    WriteWav(p, MakeSine(44100, 2, 1000, 440.0));
    ASSERT_EQ(::chmod(p.c_str(), 0), 0);
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files regardless of their mode; FIFOs and links cover this";
    }
    EXPECT_EQ(audio::OpenStreamFile(p), nullptr);
    EXPECT_EQ(audio::OpenMusicFile(p, 0, true), nullptr);
}

TEST(BadInput, WavHeaderClaimingFourGibibytes) {
    TempDir dir("huge");
    const Pcm pcm = MakeRamp(44100, 2, 1000);
    auto image = EncodeWav(pcm);
    const std::size_t dataSizeAt = image.size() - pcm.bytes() - 4;
    for (std::size_t at : {std::size_t{4}, dataSizeAt}) {
        image[at] = image[at + 1] = image[at + 2] = image[at + 3] = 0xFF;
    }
    WriteBytes(dir.file("huge.wav"), image);
    auto d = audio::OpenStreamFile(dir.file("huge.wav"));
    if (d) {
        EXPECT_LE(d->lengthFrames(), pcm.frames());
        const auto got = ReadAll(*d);
        EXPECT_LE(got.size(), pcm.samples.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm.samples.begin()));
    }
    auto m = audio::OpenStreamMemory(image.data(), image.size());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->lengthFrames(), pcm.frames());
    EXPECT_EQ(ReadAll(*m), pcm.samples);
}

TEST(BadInput, WavTruncatedAtEveryByteOfTheHeaderAndInsideTheData) {
    TempDir dir("trunc");
    for (bool extensible : {false, true}) {
        const Pcm pcm = MakeRamp(44100, 2, 300);
        const auto image = EncodeWav(pcm, {WavFormat::kS24, extensible, false});
        const std::size_t header = image.size() - pcm.samples.size() * 3;
        for (std::size_t n = 0; n <= header + 13; ++n) {
            std::vector<std::uint8_t> cut(image.begin(), image.begin() + static_cast<long>(n));
            WriteBytes(dir.file("t.wav"), cut);
            TryEveryOpen(dir.file("t.wav"), false);
            // The memory form gets the exact block, so ASan sees any read past it.
            auto block = std::make_unique<std::uint8_t[]>(n + 1);
            std::copy(cut.begin(), cut.end(), block.get());
            if (auto m = audio::OpenStreamMemory(block.get(), n)) {
                ExpectHonest(*m, "memory " + std::to_string(n));
            }
        }
    }
}

// Offsets of every frame in an MPEG stream without tags.
std::vector<std::size_t> FrameStarts(const std::vector<std::uint8_t>& s) {
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        const auto h = audio::ParseMpegFrameHeader(s.data() + pos);
        if (!h) {
            break;
        }
        starts.push_back(pos);
        pos += h->frameBytes;
    }
    return starts;
}

TEST(BadInput, MpegTruncatedAtEveryFrameBoundaryAndInsideFrames) {
    TempDir dir("mtrunc");
    WriteWav(dir.file("in.wav"), MakeSine(44100, 2, 20000, 440.0));
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3")));
    ASSERT_TRUE(EncodeMp2(dir.file("in.wav"), dir.file("a.mp2")));
    WriteBytes(dir.file("a.mp1"), EncodeMp1Tone({44100, 2, 30, 4, 0.5}));
    for (const char* name : {"a.mp3", "a.mp2", "a.mp1"}) {
        const auto full = ReadBytes(dir.file(name));
        const auto starts = FrameStarts(full);
        ASSERT_GT(starts.size(), 10u) << name;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            for (std::size_t extra : {std::size_t{0}, std::size_t{2}, std::size_t{50}}) {
                const std::size_t n = std::min(full.size(), starts[i] + extra);
                WriteBytes(dir.file("cut.mp3"),
                           std::vector<std::uint8_t>(full.begin(), full.begin() + long(n)));
                if (auto d = audio::OpenStreamFile(dir.file("cut.mp3"))) {
                    ExpectHonest(*d, std::string(name) + " cut at " + std::to_string(n));
                }
            }
        }
    }
}

TEST(BadInput, MpegStreamWithCorruptFramesInsideDecodesAroundThem) {
    TempDir dir("mcorrupt");
    WriteWav(dir.file("in.wav"), MakeSine(44100, 2, 44100, 440.0));
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3")));
    auto bytes = ReadBytes(dir.file("a.mp3"));
    const auto noise = RandomBytes(3000, 77);
    std::copy(noise.begin(), noise.end(), bytes.begin() + static_cast<long>(bytes.size() / 2));
    WriteBytes(dir.file("c.mp3"), bytes);
    auto d = audio::OpenStreamFile(dir.file("c.mp3"));
    ASSERT_NE(d, nullptr);
    ExpectHonest(*d, "corrupt middle");
}

TEST(BadInput, CdaStubsThatAreNotStubs) {
    TempDir dir("cda");
    auto stub = EncodeCdaStub(1, 0, 100);
    stub.resize(43);
    WriteBytes(dir.file("short.cda"), stub);
    EXPECT_EQ(audio::OpenCdTrack(dir.file("short.cda")), nullptr);
    // A plausible stub with no image and (on a build machine) no drive: nothing to read.
    WriteBytes(dir.file("Track99.cda"), EncodeCdaStub(99, 0, 100));
    EXPECT_EQ(audio::OpenCdTrack(dir.file("Track99.cda")), nullptr);
    // A WAV file is not a stub.
    WriteWav(dir.file("a.cda"), MakeSine(44100, 2, 100, 440.0));
    EXPECT_EQ(audio::OpenCdTrack(dir.file("a.cda")), nullptr);
}

TEST(BadInput, MemoryBlocksThatAreNotWavImages) {
    EXPECT_EQ(audio::OpenStreamMemory(nullptr, 100), nullptr);
    const std::uint8_t one = 0;
    EXPECT_EQ(audio::OpenStreamMemory(&one, 0), nullptr);
    for (std::uint32_t seed = 1; seed <= 50; ++seed) {
        const auto b = RandomBytes(seed * 97, seed);
        if (auto m = audio::OpenStreamMemory(b.data(), b.size())) {
            ExpectHonest(*m, "random block");
        }
    }
    // Formats this engine does not decode from a WAV: compressed data tags.
    auto image = EncodeWav(MakeSine(8000, 1, 100, 300.0));
    image[20] = 2;  // ADPCM
    EXPECT_EQ(audio::OpenStreamMemory(image.data(), image.size()), nullptr);
    image[20] = 1;
    image[22] = 0;  // no channels
    EXPECT_EQ(audio::OpenStreamMemory(image.data(), image.size()), nullptr);
}

}  // namespace
}  // namespace tarvel::test
