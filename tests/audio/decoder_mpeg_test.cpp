// MPEG audio layers 1-3: gapless exact lengths, content against the source, sample-exact seeks,
// and the strict probe that keeps random bytes from being taken for MPEG audio.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "audio/Decoder.h"
#include "audio/decoders/MpegProbe.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::OpenStreamFile;
using decoder_test::ReadAll;
using decoder_test::ReadFrames;

// Decoded samples of the reference command-line decoder (gapless by default).
std::vector<std::int16_t> ReferenceDecode(const std::filesystem::path& file,
                                          const std::filesystem::path& raw) {
    const std::string cmd = "mpg123 -q -s '" + file.string() + "' > '" + raw.string() + "'";
    if (std::system(cmd.c_str()) != 0) {
        return {};
    }
    const auto bytes = ReadBytes(raw);
    std::vector<std::int16_t> s(bytes.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return s;
}

// The reference tool's synthesis may round a sample the other way; anything beyond 1 LSB is a
// real difference (a misplaced frame, lost gapless trimming, wrong channel order).
void ExpectSameDecode(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& ref) {
    ASSERT_EQ(got.size(), ref.size());
    std::size_t far = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::abs(got[i] - ref[i]) > 1) {
            ++far;
        }
    }
    EXPECT_EQ(far, 0u);
}

// Power of `freq` in one channel, relative to the channel's total power (Goertzel).
double ToneShare(const std::vector<std::int16_t>& s, std::uint32_t channels, std::uint32_t ch,
                 double freq, double rate) {
    const double w = 2.0 * std::numbers::pi * freq / rate;
    double s1 = 0, s2 = 0, total = 0;
    std::size_t n = 0;
    for (std::size_t i = ch; i < s.size(); i += channels, ++n) {
        const double x = s[i];
        const double s0 = x + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += x * x;
    }
    const double power = s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2;
    return total == 0 ? 0.0 : 2.0 * power / (static_cast<double>(n) * total);
}

struct Mp3Case {
    const char* name;
    std::uint32_t rate;
    std::uint32_t channels;
    std::size_t frames;
    int kbps;
    std::uint32_t kind;
};

class LameStreams : public ::testing::TestWithParam<Mp3Case> {};

TEST_P(LameStreams, GaplessLengthIsTheInputsAndContentMatches) {
    const auto& c = GetParam();
    TempDir dir("mp3");
    const Pcm pcm = MakeSine(c.rate, c.channels, c.frames, 440.0, 0.5);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3"), c.kbps));
    auto d = OpenStreamFile(dir.file("a.mp3"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind(), c.kind);
    EXPECT_EQ(d->rate(), c.rate);
    EXPECT_EQ(d->channels(), c.channels);
    EXPECT_EQ(d->lengthFrames(), c.frames);
    const auto got = ReadAll(*d, 1234);
    ASSERT_EQ(got.size(), pcm.samples.size());
    EXPECT_GT(Correlation(got.data(), pcm.samples.data(), got.size()), 0.99);
    ExpectSameDecode(got, ReferenceDecode(dir.file("a.mp3"), dir.file("a.raw")));
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, LameStreams,
    ::testing::Values(Mp3Case{"mpeg1_stereo", 44100, 2, 100003, 128, audio::kKindMpeg3},
                      Mp3Case{"mpeg1_mono", 48000, 1, 48000, 64, audio::kKindMpeg3},
                      Mp3Case{"mpeg2_mono", 22050, 1, 30001, 64, audio::kKindMpeg3},
                      Mp3Case{"mpeg25_stereo", 11025, 2, 20000, 32, audio::kKindMpeg3}),
    ::tarvel::test::CaseName());

TEST(Mp3, WithoutTheInfoTagEveryDecodedSampleIsKept) {
    // No gapless data: the length is what the frames decode to, at least the input's.
    TempDir dir("notag");
    const Pcm pcm = MakeSine(44100, 2, 30000, 440.0);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3"), 128, true));
    auto d = OpenStreamFile(dir.file("a.mp3"));
    ASSERT_NE(d, nullptr);
    EXPECT_GE(d->lengthFrames(), pcm.frames());
    const auto got = ReadAll(*d);
    EXPECT_EQ(got.size(), d->lengthFrames() * 2);
    ExpectSameDecode(got, ReferenceDecode(dir.file("a.mp3"), dir.file("a.raw")));
}

TEST(Mp2, DecodesLikeTheReferenceAndCarriesTheSignal) {
    TempDir dir("mp2");
    const Pcm pcm = MakeSine(44100, 2, 44100, 1000.0, 0.5);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeMp2(dir.file("in.wav"), dir.file("a.mp2")));
    auto d = OpenStreamFile(dir.file("a.mp2"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind(), audio::kKindMpeg2);
    const auto got = ReadAll(*d);
    EXPECT_EQ(got.size(), d->lengthFrames() * 2);
    ExpectSameDecode(got, ReferenceDecode(dir.file("a.mp2"), dir.file("a.raw")));
    EXPECT_GT(ToneShare(got, 2, 0, 1000.0, 44100), 0.9);
    EXPECT_GT(ToneShare(got, 2, 1, 1500.0, 44100), 0.9);
}

TEST(Mp1, HandWrittenLayer1DecodesToItsTone) {
    TempDir dir("mp1");
    for (std::uint32_t channels : {1u, 2u}) {
        for (std::uint32_t rate : {32000u, 44100u, 48000u}) {
            const Mp1Options o{rate, channels, 50, 3, 0.5};
            WriteBytes(dir.file("a.mp1"), EncodeMp1Tone(o));
            auto d = OpenStreamFile(dir.file("a.mp1"));
            ASSERT_NE(d, nullptr) << rate << " " << channels;
            EXPECT_EQ(d->kind(), audio::kKindMpeg1);
            EXPECT_EQ(d->rate(), rate);
            EXPECT_EQ(d->channels(), channels);
            EXPECT_EQ(d->lengthFrames(), 50 * kMp1SamplesPerFrame);
            const auto got = ReadAll(*d);
            ASSERT_EQ(got.size(), 50 * kMp1SamplesPerFrame * channels);
            ExpectSameDecode(got, ReferenceDecode(dir.file("a.mp1"), dir.file("a.raw")));
            for (std::uint32_t ch = 0; ch < channels; ++ch) {
                EXPECT_GT(ToneShare(got, channels, ch, Mp1ToneFrequency(o), rate), 0.8);
            }
        }
    }
}

TEST(MpegSeek, LandsOnTheExactFrameInEveryLayer) {
    TempDir dir("mseek");
    const Pcm pcm = MakeNoise(44100, 2, 60000, 5, 0.3);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3")));
    ASSERT_TRUE(EncodeMp2(dir.file("in.wav"), dir.file("a.mp2")));
    WriteBytes(dir.file("a.mp1"), EncodeMp1Tone({44100, 2, 200, 5, 0.7}));
    for (const char* name : {"a.mp3", "a.mp2", "a.mp1"}) {
        auto d = OpenStreamFile(dir.file(name));
        ASSERT_NE(d, nullptr) << name;
        const auto all = ReadAll(*d);
        const std::uint64_t len = d->lengthFrames();
        ASSERT_EQ(all.size(), len * 2);
        for (std::uint64_t target : {len - 1, std::uint64_t{0}, std::uint64_t{1151},
                                     std::uint64_t{1152}, len / 2 + 7, std::uint64_t{385}, len}) {
            ASSERT_TRUE(d->seek(target)) << name << " " << target;
            const auto got = ReadFrames(*d, 300);
            const std::size_t n = std::min<std::uint64_t>(300, len - target);
            ASSERT_EQ(got.size(), n * 2) << name << " " << target;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), At(all, 2 * target)))
                << name << " seek to " << target;
        }
        EXPECT_FALSE(d->seek(len + 1));
    }
}

TEST(MpegProbe, Id3v2TagsAndPaddingBeforeTheAudioAreSkipped) {
    TempDir dir("id3");
    const Pcm pcm = MakeSine(44100, 2, 20000, 300.0);
    WriteWav(dir.file("in.wav"), pcm);
    ASSERT_TRUE(EncodeMp3(dir.file("in.wav"), dir.file("a.mp3")));
    const auto mp3 = ReadBytes(dir.file("a.mp3"));
    // A 100 000-byte tag (beyond the probe's search window) plus zero padding after it.
    constexpr std::size_t kTagBody = 100000;
    std::vector<std::uint8_t> tagged = {'I',
                                        'D',
                                        '3',
                                        3,
                                        0,
                                        0,
                                        static_cast<std::uint8_t>((kTagBody >> 21) & 0x7F),
                                        static_cast<std::uint8_t>((kTagBody >> 14) & 0x7F),
                                        static_cast<std::uint8_t>((kTagBody >> 7) & 0x7F),
                                        static_cast<std::uint8_t>(kTagBody & 0x7F)};
    tagged.resize(tagged.size() + kTagBody + 777, 0);
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    WriteBytes(dir.file("t.mp3"), tagged);
    auto d = OpenStreamFile(dir.file("t.mp3"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lengthFrames(), 20000u);
    auto plain = OpenStreamFile(dir.file("a.mp3"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(ReadAll(*d), ReadAll(*plain));
}

TEST(MpegProbe, RandomBytesNeverOpenAsMpegAudio) {
    TempDir dir("rnd");
    const auto path = dir.file("r.mp3");
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        const std::size_t size = 1 + (seed * 7919u) % 300000u;
        auto bytes = RandomBytes(size, seed);
        // Every third file starts with one real header, which alone must not be enough.
        if (seed % 3 == 0 && size >= 4) {
            bytes[0] = 0xFF;
            bytes[1] = 0xFB;
            bytes[2] = 0x90;
            bytes[3] = 0x64;
        }
        WriteBytes(path, bytes);
        EXPECT_EQ(OpenStreamFile(path), nullptr) << "seed " << seed;
    }
}

TEST(MpegProbe, HeaderFieldsAndFrameLengths) {
    struct Case {
        std::uint8_t b[4];
        bool valid;
        int layer;
        std::uint32_t rate;
        std::uint32_t bytes;
    };
    const Case cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, true, 3, 44100, 417},  // 128 kbit/s
        {{0xFF, 0xFB, 0x92, 0x64}, true, 3, 44100, 418},  // padded
        {{0xFF, 0xFD, 0xA4, 0x00}, true, 2, 48000, 576},  // layer 2, 192 kbit/s
        {{0xFF, 0xFF, 0xC0, 0x00}, true, 1, 44100, 416},  // layer 1, 384 kbit/s
        {{0xFF, 0xF3, 0x40, 0x00}, true, 3, 22050, 104},  // MPEG-2, 32 kbit/s
        {{0xFF, 0xE3, 0x40, 0x00}, true, 3, 11025, 208},  // MPEG-2.5, 32 kbit/s
        {{0xFF, 0xEB, 0x90, 0x64}, false, 0, 0, 0},       // reserved version
        {{0xFF, 0xF9, 0x90, 0x64}, false, 0, 0, 0},       // reserved layer
        {{0xFF, 0xFB, 0xF0, 0x64}, false, 0, 0, 0},       // bad bitrate
        {{0xFF, 0xFB, 0x00, 0x64}, false, 0, 0, 0},       // free format
        {{0xFF, 0xFB, 0x9C, 0x64}, false, 0, 0, 0},       // reserved rate
        {{0xFF, 0xFB, 0x90, 0x66}, false, 0, 0, 0},       // reserved emphasis
        {{0xFE, 0xFB, 0x90, 0x64}, false, 0, 0, 0},       // no sync
    };
    for (const auto& c : cases) {
        const auto h = audio::ParseMpegFrameHeader(c.b);
        ASSERT_EQ(h.has_value(), c.valid) << std::hex << int(c.b[1]) << int(c.b[2]);
        if (h) {
            EXPECT_EQ(h->layer, c.layer);
            EXPECT_EQ(h->sampleRate, c.rate);
            EXPECT_EQ(h->frameBytes, c.bytes);
        }
    }
}

}  // namespace
}  // namespace tarvel::test
