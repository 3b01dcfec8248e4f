// PCM sources through the stream form: every WAV sample format, AIFF/AIFC and FLAC files, and
// WAV images in memory (including the size-0 form).
#include <gtest/gtest.h>

#include <cstring>

#include "audio/Decoder.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::OpenStreamFile;
using audio::OpenStreamMemory;
using decoder_test::ReadAll;
using decoder_test::ReadFrames;

struct WavCase {
    const char* name;
    WavFormat format;
    bool extensible;
    std::uint32_t channels;
    std::uint32_t rate;
};

class WavFormats : public ::testing::TestWithParam<WavCase> {};

std::vector<std::int16_t> Expected(const Pcm& pcm, WavFormat f) {
    std::vector<std::int16_t> e(pcm.samples);
    for (auto& s : e) {
        s = ExpectedAfter(f, s);
    }
    return e;
}

TEST_P(WavFormats, FileAndMemoryDecodeBitExactWithExactLength) {
    const auto& c = GetParam();
    TempDir dir("pcm");
    const Pcm pcm = MakeRamp(c.rate, c.channels, 12345);
    const auto image = EncodeWav(pcm, {c.format, c.extensible, false});
    WriteBytes(dir.file("a.wav"), image);

    auto d = OpenStreamFile(dir.file("a.wav"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->rate(), c.rate);
    EXPECT_EQ(d->channels(), c.channels);
    EXPECT_EQ(d->lengthFrames(), pcm.frames());
    EXPECT_EQ(d->kind(), audio::kKindWav);
    EXPECT_EQ(ReadAll(*d, 999), Expected(pcm, c.format));

    auto m = OpenStreamMemory(image.data(), image.size());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->rate(), c.rate);
    EXPECT_EQ(m->channels(), c.channels);
    EXPECT_EQ(m->lengthFrames(), pcm.frames());
    EXPECT_EQ(ReadAll(*m, 777), Expected(pcm, c.format));
}

INSTANTIATE_TEST_SUITE_P(Decoders, WavFormats,
                         ::testing::Values(WavCase{"u8", WavFormat::kU8, false, 2, 44100},
                                           WavCase{"s16mono", WavFormat::kS16, false, 1, 22050},
                                           WavCase{"s16", WavFormat::kS16, false, 2, 44100},
                                           WavCase{"s24", WavFormat::kS24, false, 2, 48000},
                                           WavCase{"s32", WavFormat::kS32, false, 2, 96000},
                                           WavCase{"f32", WavFormat::kFloat32, false, 2, 44100},
                                           WavCase{"f64", WavFormat::kFloat64, false, 1, 8000},
                                           WavCase{"s16ext", WavFormat::kS16, true, 2, 44100},
                                           WavCase{"s24ext", WavFormat::kS24, true, 2, 44100},
                                           WavCase{"f32ext", WavFormat::kFloat32, true, 1, 32000}),
                         ::tarvel::test::CaseName());

TEST(PcmConversion, WideSamplesRoundToNearestAndClip) {
    // 24-bit values just below and above the half step, and full-scale float beyond +1.
    TempDir dir("round");
    Pcm dummy{44100, 1, {0, 0, 0, 0}};
    auto image = EncodeWav(dummy, {WavFormat::kS24, false, false});
    const std::size_t data = image.size() - 12;
    const std::int32_t values[4] = {0x7F, 0x80, -0x81, 0x7FFFFF};  // -> 0, 1, -1, 32767
    for (std::size_t i = 0; i < 4; ++i) {
        const auto u = static_cast<std::uint32_t>(values[i]);
        image[data + 3 * i] = static_cast<std::uint8_t>(u);
        image[data + 3 * i + 1] = static_cast<std::uint8_t>(u >> 8);
        image[data + 3 * i + 2] = static_cast<std::uint8_t>(u >> 16);
    }
    const std::vector<std::int16_t> want = {0, 1, -1, 32767};
    auto m = OpenStreamMemory(image.data(), image.size());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ReadAll(*m), want);
    WriteBytes(dir.file("r.wav"), image);
    auto f = OpenStreamFile(dir.file("r.wav"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadAll(*f), want);

    auto fimage = EncodeWav(dummy, {WavFormat::kFloat32, false, false});
    const std::size_t fdata = fimage.size() - 16;
    const float fv[4] = {2.0f, -2.0f, 0.5f / 32768.0f * 3.0f, -1.0f};  // clip, clip, 1.5 -> 2
    std::memcpy(fimage.data() + fdata, fv, sizeof fv);
    const std::vector<std::int16_t> fwant = {32767, -32768, 2, -32768};
    auto fm = OpenStreamMemory(fimage.data(), fimage.size());
    ASSERT_NE(fm, nullptr);
    EXPECT_EQ(ReadAll(*fm), fwant);
    WriteBytes(dir.file("f.wav"), fimage);
    auto ff = OpenStreamFile(dir.file("f.wav"));
    ASSERT_NE(ff, nullptr);
    EXPECT_EQ(ReadAll(*ff), fwant);
}

struct SoxCase {
    const char* name;
    const char* ext;
    std::vector<std::string> options;
    std::uint32_t kind;
};

class SoxFormats : public ::testing::TestWithParam<SoxCase> {};

TEST_P(SoxFormats, DecodeBitExactWithExactLength) {
    const auto& c = GetParam();
    TempDir dir("sox");
    const Pcm pcm = MakeNoise(44100, 2, 54321, 7);
    WriteWav(dir.file("in.wav"), pcm);
    const auto out = dir.file(std::string("out.") + c.ext);
    ASSERT_TRUE(ConvertWithSox(dir.file("in.wav"), out, c.options));
    auto d = OpenStreamFile(out);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind(), c.kind);
    EXPECT_EQ(d->lengthFrames(), pcm.frames());
    EXPECT_EQ(ReadAll(*d), pcm.samples);
    for (std::uint64_t target : {std::uint64_t{40000}, std::uint64_t{3}, std::uint64_t{54320}}) {
        ASSERT_TRUE(d->seek(target));
        const auto got = ReadFrames(*d, 500);
        ASSERT_EQ(got.size(), std::min<std::size_t>(500, 54321 - target) * 2);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), At(pcm.samples, 2 * target))) << target;
    }
}

INSTANTIATE_TEST_SUITE_P(Decoders, SoxFormats,
                         ::testing::Values(SoxCase{"aiff", "aiff", {}, audio::kKindAiff},
                                           SoxCase{"aifc", "aifc", {}, audio::kKindAiff},
                                           SoxCase{"flac", "flac", {}, audio::kKindOtherFile},
                                           SoxCase{"au", "au", {}, audio::kKindOtherFile}),
                         ::tarvel::test::CaseName());

TEST(MemoryWav, ZeroSizeFieldsRunToTheEndOfTheBlockAndIgnoreOddBytes) {
    const Pcm pcm = MakeRamp(44100, 2, 1000);
    auto image = EncodeWav(pcm, {WavFormat::kS16, false, true});
    for (std::size_t extra = 0; extra < 4; ++extra) {
        auto d = OpenStreamMemory(image.data(), image.size());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->lengthFrames(), 1000u) << "extra bytes " << extra;
        auto got = ReadAll(*d);
        got.resize(pcm.samples.size());
        EXPECT_EQ(got, pcm.samples);
        image.push_back(0x55);
    }
}

TEST(WavFile, ZeroSizeFieldsRunToTheEndOfTheFile) {
    TempDir dir("zero");
    for (const WavFormat f :
         {WavFormat::kU8, WavFormat::kS16, WavFormat::kS24, WavFormat::kFloat32}) {
        for (const bool extensible : {false, true}) {
            const Pcm pcm = MakeRamp(22050, 2, 3000);
            auto image = EncodeWav(pcm, {f, extensible, true});
            image.push_back(0x7F);  // a stray byte after the last whole frame is ignored
            WriteBytes(dir.file("z.wav"), image);
            auto d = OpenStreamFile(dir.file("z.wav"));
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->kind(), audio::kKindWav);
            EXPECT_EQ(d->rate(), 22050u);
            ASSERT_EQ(d->lengthFrames(), 3000u);
            EXPECT_EQ(ReadAll(*d, 1001), Expected(pcm, f));
            ASSERT_TRUE(d->seek(1234));
            const auto part = ReadFrames(*d, 10);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), Expected(pcm, f).begin() + 2468));
        }
    }
}

TEST(MemoryWav, SizesRunningPastTheBlockAreClampedToIt) {
    const Pcm pcm = MakeRamp(44100, 1, 500);
    auto image = EncodeWav(pcm);
    // data size claims 4 GiB - 2, RIFF size too: both must end at the block.
    for (std::size_t off : {std::size_t{4}, image.size() - pcm.bytes() - 4}) {
        image[off] = 0xFE;
        image[off + 1] = image[off + 2] = image[off + 3] = 0xFF;
    }
    // Cut the block mid-frame: the half frame is ignored.
    image.resize(image.size() - 301);
    auto d = OpenStreamMemory(image.data(), image.size());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lengthFrames(), 500u - 151u);
    const auto got = ReadAll(*d);
    EXPECT_EQ(got, std::vector<std::int16_t>(pcm.samples.begin(), pcm.samples.begin() + 349));
}

TEST(MemoryWav, ImageOfACdTrackDecodesInPlace) {
    // The 44-byte header the scan writes for a CD track, both sizes 0.
    const Pcm pcm = MakeNoise(44100, 2, 588 * 3, 3);
    const auto image = EncodeWav(pcm, {WavFormat::kS16, false, true});
    ASSERT_EQ(image.size(), 44u + pcm.bytes());
    auto d = OpenStreamMemory(image.data(), image.size());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->rate(), 44100u);
    EXPECT_EQ(d->channels(), 2u);
    EXPECT_EQ(ReadAll(*d), pcm.samples);
}

TEST(Seek, LandsOnTheExactFrameInEveryPcmPath) {
    TempDir dir("seek");
    const Pcm pcm = MakeRamp(44100, 2, 30000);
    const auto image = EncodeWav(pcm, {WavFormat::kS24, false, false});
    WriteBytes(dir.file("s.wav"), image);
    std::vector<std::unique_ptr<audio::Decoder>> decoders;
    decoders.push_back(OpenStreamFile(dir.file("s.wav")));
    decoders.push_back(OpenStreamMemory(image.data(), image.size()));
    for (auto& d : decoders) {
        ASSERT_NE(d, nullptr);
        for (std::uint64_t target : {29999u, 0u, 12345u, 1u, 30000u, 7777u}) {
            ASSERT_TRUE(d->seek(target));
            const auto got = ReadFrames(*d, 100);
            const std::size_t n = std::min<std::size_t>(100, 30000 - target);
            ASSERT_EQ(got.size(), n * 2) << target;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), At(pcm.samples, target * 2))) << target;
        }
        // A refused seek leaves the position where it was.
        ASSERT_TRUE(d->seek(100));
        EXPECT_FALSE(d->seek(30001));
        const auto after = ReadFrames(*d, 1);
        ASSERT_EQ(after.size(), 2u);
        EXPECT_EQ(after[0], pcm.samples[200]);
    }
}

}  // namespace
}  // namespace tarvel::test
