// Formats that open now (Creative Voice, free-format MPEG, Ogg FLAC, tagged FLAC), and lengths
// that keep their word: a file cut short, damaged inside or changing its MPEG format mid-way
// reports exactly the audio it delivers, and what follows a damaged stretch keeps its position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "audio/Decoder.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::OpenStreamFile;
using decoder_test::ReadAll;
using decoder_test::ReadFrames;
using Path = std::filesystem::path;

std::vector<std::int16_t> RawS16(const Path& p) {
    const auto bytes = ReadBytes(p);
    std::vector<std::int16_t> s(bytes.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return s;
}

// Writes `pcm` as in.wav and encodes it with `argv` + in.wav + `tail`..., `out` last.
bool Encode(const TempDir& dir, const Pcm& pcm, std::vector<std::string> argv,
            const std::vector<std::string>& tail, const Path& out) {
    WriteWav(dir.file("in.wav"), pcm);
    argv.push_back(dir.file("in.wav").string());
    argv.insert(argv.end(), tail.begin(), tail.end());
    argv.push_back(out.string());
    return RunTool(argv, out);
}

TEST(NewFormats, CreativeVoiceOpensBitExact) {
    TempDir dir("voc");
    const Pcm pcm = MakeNoise(22050, 1, 30000, 4);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(ConvertWithSox(dir.file("in.wav"), dir.file("a.voc")));
    auto d = OpenStreamFile(dir.file("a.voc"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->rate(), 22050u);
    EXPECT_EQ(ReadAll(*d), pcm.samples);
}

TEST(NewFormats, FreeFormatMpegDecodesLikeTheReferenceDecoder) {
    TempDir dir("free");
    const Pcm pcm = MakeSine(44100, 2, 60000, 500.0);
    const Path mp3 = dir.file("free.mp3");
    ASSERT_TRUE(Encode(dir, pcm, {"lame", "--quiet", "--freeformat", "-b", "400"}, {}, mp3));
    auto d = OpenStreamFile(mp3);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind(), audio::kKindMpeg3);
    EXPECT_EQ(d->lengthFrames(), pcm.frames());
    const std::string cmd =
        "mpg123 -q -s '" + mp3.string() + "' > '" + dir.file("ref.raw").string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadAll(*d), RawS16(dir.file("ref.raw")));
}

TEST(NewFormats, FlacNativeInOggAndBehindAnId3TagDecodeBitExact) {
    TempDir dir("flac");
    const Pcm pcm = MakeNoise(48000, 2, 40000, 8);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeFlac(dir.file("in.wav"), dir.file("a.flac")));
    ASSERT_TRUE(EncodeFlac(dir.file("in.wav"), dir.file("a.oga"), true));
    // A small ID3v2 tag in front, as some taggers write.
    std::vector<std::uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    tagged.resize(tagged.size() + 20, 0);
    const auto flac = ReadBytes(dir.file("a.flac"));
    tagged.insert(tagged.end(), flac.begin(), flac.end());
    WriteBytes(dir.file("tagged.flac"), tagged);
    for (const char* name : {"a.flac", "a.oga", "tagged.flac"}) {
        auto d = OpenStreamFile(dir.file(name));
        ASSERT_NE(d, nullptr) << name;
        EXPECT_EQ(d->rate(), 48000u) << name;
        EXPECT_EQ(d->lengthFrames(), pcm.frames()) << name;
        EXPECT_EQ(ReadAll(*d), pcm.samples) << name;
    }
}

TEST(NewFormats, MultichannelVorbisComesInWavChannelOrder) {
    // Six tones, one per channel in WAV order (L R C LFE RL RR); the encoder stores them in
    // Vorbis order, and the decoder must hand them back where they were.
    TempDir dir("vorbis6");
    constexpr std::uint32_t kRate = 48000;
    constexpr double kTones[6] = {500, 700, 900, 60, 1300, 1500};
    Pcm pcm{kRate, 6, std::vector<std::int16_t>(std::size_t{kRate} * 6)};
    for (std::size_t f = 0; f < kRate; ++f) {
        for (std::size_t c = 0; c < 6; ++c) {
            pcm.samples[f * 6 + c] = static_cast<std::int16_t>(
                8000 * std::sin(2 * std::numbers::pi * kTones[c] * static_cast<double>(f) / kRate));
        }
    }
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeVorbis(dir.file("in.wav"), dir.file("a.ogg"), 4));
    auto d = OpenStreamFile(dir.file("a.ogg"));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->channels(), 6u);
    const auto got = ReadAll(*d);
    ASSERT_EQ(got.size(), pcm.samples.size());
    for (std::size_t c = 0; c < 6; ++c) {
        std::vector<std::int16_t> want, have;
        for (std::size_t f = 4800; f < kRate - 4800; ++f) {
            want.push_back(pcm.samples[f * 6 + c]);
            have.push_back(got[f * 6 + c]);
        }
        EXPECT_GT(Correlation(want.data(), have.data(), want.size()), 0.9) << "channel " << c;
    }
}

struct CutCase {
    const char* name;
    std::vector<std::string> tool;  // the encoder; in.wav and the output follow
    std::vector<std::string> tail;  // arguments between the two
    const char* ext;
};

class CutShort : public ::testing::TestWithParam<CutCase> {};

// Cut at many points, the file reports as its length what it then delivers, never the length
// its header claimed: the end of the source is where its audio ends.
TEST_P(CutShort, LengthIsWhatTheCutFileDelivers) {
    const auto& c = GetParam();
    TempDir dir("cut");
    const Pcm pcm = MakeNoise(44100, 2, 44100 * 4, 3, 0.3);
    const Path full = dir.file(std::string("full.") + c.ext);
    ASSERT_TRUE(Encode(dir, pcm, c.tool, c.tail, full));
    const auto bytes = ReadBytes(full);
    std::uint64_t previous = 0;
    for (int i = 1; i <= 24; ++i) {
        const std::size_t n = bytes.size() * static_cast<std::size_t>(i) / 25;
        WriteBytes(dir.file(std::string("cut.") + c.ext),
                   std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)));
        auto d = OpenStreamFile(dir.file(std::string("cut.") + c.ext));
        if (!d) {
            continue;  // refused outright is fine too
        }
        const auto all = ReadAll(*d, 4096);
        EXPECT_EQ(all.size() / 2, d->lengthFrames()) << c.name << " cut at " << n;
        EXPECT_LT(d->lengthFrames(), pcm.frames()) << c.name << " cut at " << n;
        EXPECT_GE(d->lengthFrames(), previous) << c.name << " cut at " << n;
        previous = d->lengthFrames();
    }
    EXPECT_GT(previous, pcm.frames() / 2) << c.name << ": the longer cuts must still play";
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, CutShort,
    ::testing::Values(CutCase{"flac", {"flac", "--silent", "--force"}, {"-o"}, "flac"},
                      CutCase{"ogg_flac", {"flac", "--silent", "--force", "--ogg"}, {"-o"}, "oga"},
                      CutCase{"vorbis", {"oggenc", "--quiet"}, {"-o"}, "ogg"},
                      CutCase{"mp3", {"lame", "--quiet", "-b", "128"}, {}, "mp3"},
                      CutCase{"wav_msadpcm", {"sox", "-q"}, {"-e", "ms-adpcm"}, "wav"}),
    ::tarvel::test::CaseName());

TEST(FlacHeaderOnly, IsRefused) {
    TempDir dir("flachead");
    WriteWav(dir.file("in.wav"), MakeNoise(44100, 2, 44100 * 5, 2));
    ASSERT_TRUE(EncodeFlac(dir.file("in.wav"), dir.file("a.flac")));
    const auto bytes = ReadBytes(dir.file("a.flac"));
    // "fLaC" and the stream info block: the header says 5 s, the file holds no frame.
    WriteBytes(dir.file("head.flac"), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 42));
    EXPECT_EQ(OpenStreamFile(dir.file("head.flac")), nullptr);
}

struct DamageCase {
    const char* name;
    std::vector<std::string> tool;
    std::vector<std::string> tail;
    const char* ext;
};

class DamagedInside : public ::testing::TestWithParam<DamageCase> {};

// Bytes overwritten in the middle: the length holds, and the audio well after the damage is at
// the same positions as in the undamaged file (lost stretches become silence, not a shift).
TEST_P(DamagedInside, WhatFollowsTheDamageKeepsItsPosition) {
    const auto& c = GetParam();
    TempDir dir("damage");
    const Pcm pcm = MakeNoise(44100, 2, 44100 * 6, 6, 0.3);
    const Path full = dir.file(std::string("full.") + c.ext);
    ASSERT_TRUE(Encode(dir, pcm, c.tool, c.tail, full));
    auto bytes = ReadBytes(full);
    auto clean = OpenStreamFile(full);
    ASSERT_NE(clean, nullptr);
    const auto reference = ReadAll(*clean);
    const auto noise = RandomBytes(bytes.size() / 50, 12);
    std::copy(noise.begin(), noise.end(), bytes.begin() + static_cast<long>(bytes.size() / 3));
    const Path hurt = dir.file(std::string("hurt.") + c.ext);
    WriteBytes(hurt, bytes);
    auto d = OpenStreamFile(hurt);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lengthFrames(), clean->lengthFrames());
    const auto got = ReadAll(*d);
    ASSERT_EQ(got.size(), reference.size());
    // The last third of the file is far from the damage.
    const std::size_t from = reference.size() * 2 / 3;
    EXPECT_TRUE(std::equal(got.begin() + static_cast<long>(from), got.end(),
                           reference.begin() + static_cast<long>(from)));
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, DamagedInside,
    ::testing::Values(DamageCase{"flac", {"flac", "--silent", "--force"}, {"-o"}, "flac"},
                      DamageCase{"vorbis", {"oggenc", "--quiet"}, {"-o"}, "ogg"}),
    ::tarvel::test::CaseName());

TEST(MpegFormatChange, AStreamThatChangesRateEndsWhereItChanges) {
    // Two encodings joined end to end, 44.1 kHz then 22.05 kHz (and the other way round): the
    // source is the first part, exactly, with exact seeks; it neither promises the second part
    // at the wrong rate nor cuts the first.
    TempDir dir("franken");
    const Pcm high = MakeSine(44100, 2, 44100 * 3, 440.0);
    const Pcm low = MakeSine(22050, 2, 22050 * 5, 660.0);
    ASSERT_TRUE(Encode(dir, high, {"lame", "--quiet", "-b", "128"}, {}, dir.file("h.mp3")));
    ASSERT_TRUE(Encode(dir, low, {"lame", "--quiet", "-b", "64"}, {}, dir.file("l.mp3")));
    const auto h = ReadBytes(dir.file("h.mp3"));
    const auto l = ReadBytes(dir.file("l.mp3"));
    struct Joined {
        std::vector<std::uint8_t> bytes;
        std::uint32_t rate;
        std::uint64_t frames;
    };
    std::vector<Joined> joined = {{h, 44100, high.frames()}, {l, 22050, low.frames()}};
    joined[0].bytes.insert(joined[0].bytes.end(), l.begin(), l.end());
    joined[1].bytes.insert(joined[1].bytes.end(), h.begin(), h.end());
    for (const auto& j : joined) {
        WriteBytes(dir.file("j.mp3"), j.bytes);
        auto d = OpenStreamFile(dir.file("j.mp3"));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->rate(), j.rate);
        EXPECT_EQ(d->lengthFrames(), j.frames);
        const auto all = ReadAll(*d);
        EXPECT_EQ(all.size() / 2, d->lengthFrames());
        const std::uint64_t middle = d->lengthFrames() / 2;
        ASSERT_TRUE(d->seek(middle));
        const auto part = ReadFrames(*d, 2000);
        EXPECT_TRUE(
            std::equal(part.begin(), part.end(), all.begin() + static_cast<long>(2 * middle)));
    }
}

}  // namespace
}  // namespace tarvel::test
