// Audio-CD tracks: the ".cda" stub parser and the whole read path on a BIN/CUE image, through
// the device override.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "audio/Decoder.h"
#include "audio/cd/CdDevice.h"
#include "audio/cd/CdaStub.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/audio/slow_cd_helpers.h"
#include "tests/support/DiscImage.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::OpenCdTrack;
using decoder_test::ReadAll;
using decoder_test::ReadFrames;

// Runs of a 441 Hz tone (100 frames a period, the same on both channels) between silences: a
// reader that matches overlapping reads by their content can slide such audio by whole sectors.
Pcm SteadyToneRuns() {
    constexpr std::size_t kRate = 44100;
    constexpr std::size_t kPeriod = 100;
    const std::pair<double, double> runs[] = {{3.0, 6.0}, {11.0, 19.0}};
    Pcm p = MakeSilence(kRate, 2, 20 * kRate);
    for (const auto& [from, to] : runs) {
        for (auto f = static_cast<std::size_t>(from * kRate);
             f < static_cast<std::size_t>(to * kRate); ++f) {
            const auto v = static_cast<std::int16_t>(
                16000 *
                std::sin(2 * std::numbers::pi * static_cast<double>(f % kPeriod) / kPeriod));
            p.samples[2 * f] = v;
            p.samples[2 * f + 1] = v;
        }
    }
    return p;
}

std::vector<std::int16_t> AsSamples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// Every test here points the CD reader at its own image; undo that afterwards.
class CdImage : public ::testing::Test {
  protected:
    void SetUp() override {
        disc_ = WriteDiscImage(
            dir_.path(), {MakeNoise(44100, 2, 588 * 200 + 17, 1), MakeRamp(44100, 2, 588 * 160),
                          MakeSine(44100, 2, 44100, 440.0), SteadyToneRuns()});
        audio::SetCdDeviceOverride(disc_.cue.string());
        for (const auto& t : disc_.tracks) {
            WriteCdaStub(Stub(t.number), t);
        }
    }
    void TearDown() override { audio::SetCdDeviceOverride(""); }
    std::filesystem::path Stub(int n) const {
        return dir_.file("Track" + std::to_string(n) + ".cda");
    }

    TempDir dir_{"cd"};
    DiscImage disc_;
};

TEST_F(CdImage, EachTrackDecodesToItsExactBytes) {
    for (const auto& t : disc_.tracks) {
        auto d = OpenCdTrack(Stub(t.number));
        ASSERT_NE(d, nullptr) << t.number;
        EXPECT_EQ(d->rate(), 44100u);
        EXPECT_EQ(d->channels(), 2u);
        EXPECT_EQ(d->kind(), audio::kKindCd);
        EXPECT_EQ(d->lengthFrames(), std::uint64_t{t.sectors} * kCdSectorFrames);
        EXPECT_EQ(ReadAll(*d, 1000), AsSamples(t.bytes)) << t.number;
    }
}

TEST_F(CdImage, SeekLandsOnTheExactFrame) {
    const auto& t = disc_.tracks[1];
    const auto want = AsSamples(t.bytes);
    auto d = OpenCdTrack(Stub(2));
    ASSERT_NE(d, nullptr);
    const std::uint64_t len = d->lengthFrames();
    for (std::uint64_t target : {std::uint64_t{588 * 100 + 3}, std::uint64_t{0}, len - 1,
                                 std::uint64_t{587}, std::uint64_t{588}, len}) {
        ASSERT_TRUE(d->seek(target));
        const auto got = ReadFrames(*d, 2000);
        const std::size_t n = std::min<std::uint64_t>(2000, len - target);
        ASSERT_EQ(got.size(), n * 2) << target;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), At(want, 2 * target))) << target;
    }
    EXPECT_FALSE(d->seek(len + 1));
}

TEST_F(CdImage, SeeksWhileTheReadAheadRunsAndDestructionMidTrack) {
    // Hammer the hand-over between the fill thread and the reader.
    const auto want = AsSamples(disc_.tracks[0].bytes);
    for (int round = 0; round < 20; ++round) {
        auto d = OpenCdTrack(Stub(1));
        ASSERT_NE(d, nullptr);
        const std::uint64_t target =
            (static_cast<std::uint64_t>(round) * 7919u) % d->lengthFrames();
        ASSERT_TRUE(d->seek(target));
        const auto got = ReadFrames(*d, 100);
        ASSERT_FALSE(got.empty());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), At(want, 2 * target)));
    }
}

TEST_F(CdImage, StubNamingATrackTheDiscLacksGivesNothing) {
    WriteBytes(dir_.file("Track9.cda"), EncodeCdaStub(9, 1000, 100));
    EXPECT_EQ(OpenCdTrack(dir_.file("Track9.cda")), nullptr);
    WriteBytes(dir_.file("Track5.cda"), EncodeCdaStub(5, 0, 100));
    EXPECT_EQ(OpenCdTrack(dir_.file("Track5.cda")), nullptr);
}

TEST_F(CdImage, TheOverrideMayNameTheBinFile) {
    audio::SetCdDeviceOverride(disc_.bin.string());
    auto d = OpenCdTrack(Stub(3));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(ReadAll(*d), AsSamples(disc_.tracks[2].bytes));
}

TEST_F(CdImage, MissingImageGivesNothing) {
    audio::SetCdDeviceOverride(dir_.file("absent.cue").string());
    EXPECT_EQ(OpenCdTrack(Stub(1)), nullptr);
}

// Frames [first, first + count) of the scripted drive's content, interleaved.
std::vector<std::int16_t> ScriptedFrames(std::uint64_t first, std::size_t count) {
    std::vector<std::int16_t> s;
    for (std::uint64_t f = first; f < first + count; ++f) {
        s.push_back(engine_test::CdLeft(f));
        s.push_back(engine_test::CdRight(f));
    }
    return s;
}

TEST(CdSlowDrive, OpeningAndReadingNeverWaitForAHeldDrive) {
    auto drive = std::make_shared<engine_test::SlowDrive>();
    drive->hold();  // a drive that has not spun up: no sector comes until the test says so
    auto d = engine_test::MakeSlowCd(40, drive);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lengthFrames(), 40u * kCdSectorFrames);
    std::vector<std::int16_t> buf(2 * 1000);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(d->read(buf.data(), 1000).wouldBlock());
    }
    // A seek while held is still "not yet", and what comes afterwards starts at its frame.
    ASSERT_TRUE(d->seek(3000));
    EXPECT_TRUE(d->read(buf.data(), 1000).wouldBlock());
    drive->release();
    const auto got = ReadAll(*d, 700);
    EXPECT_EQ(got, ScriptedFrames(3000, 40 * kCdSectorFrames - 3000));
    EXPECT_TRUE(d->read(buf.data(), 1000).ended());
}

TEST(CdSlowDrive, ASlowDriveDeliversEveryFrameInOrder) {
    auto drive = std::make_shared<engine_test::SlowDrive>();
    drive->setDelay(std::chrono::milliseconds(2));
    auto d = engine_test::MakeSlowCd(30, drive);
    ASSERT_NE(d, nullptr);
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buf(2 * 333);
    int notYet = 0;
    for (;;) {
        const audio::ReadResult r = d->read(buf.data(), 333);
        if (r.ended()) {
            break;
        }
        if (r.wouldBlock()) {
            ++notYet;
            d->waitForData(std::chrono::milliseconds(100));
            continue;
        }
        all.insert(all.end(), buf.begin(),
                   buf.begin() + static_cast<std::ptrdiff_t>(2 * r.frames()));
    }
    EXPECT_GT(notYet, 0);  // the reader outran the drive at least once
    EXPECT_EQ(all, ScriptedFrames(0, 30 * kCdSectorFrames));
}

TEST(CdaStub, ParsesTheFieldsOfAWellFormedStub) {
    const auto b = EncodeCdaStub(7, 123456, 9876, 0xCAFEF00D);
    ASSERT_EQ(b.size(), audio::kCdaStubBytes);
    const auto s = audio::ParseCdaStub(b.data(), b.size());
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->version, 1);
    EXPECT_EQ(s->track, 7);
    EXPECT_EQ(s->volumeSerial, 0xCAFEF00Du);
    EXPECT_EQ(s->firstSector, 123456u);
    EXPECT_EQ(s->sectors, 9876u);
    // 123456 + 150 sectors = 27:28:06; 9876 sectors = 02:11:51.
    EXPECT_EQ(s->firstMsf, (27u << 16) | (28u << 8) | 6u);
    EXPECT_EQ(s->lengthMsf, (2u << 16) | (11u << 8) | 51u);
}

TEST(CdaStub, RejectsEveryMalformedVariant) {
    const auto good = EncodeCdaStub(3, 0, 100);
    struct Damage {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    };
    const Damage damages[] = {{"RIFF tag", 0, 'X'},  {"RIFF size", 4, 37}, {"CDDA tag", 8, 'X'},
                              {"fmt tag", 12, 'X'},  {"fmt size", 16, 25}, {"track 0", 22, 0},
                              {"track 100", 22, 100}};
    for (const auto& d : damages) {
        auto b = good;
        b[d.offset] = d.value;
        EXPECT_FALSE(audio::ParseCdaStub(b.data(), b.size()).has_value()) << d.what;
    }
    for (std::size_t n = 0; n < good.size(); ++n) {
        EXPECT_FALSE(audio::ParseCdaStub(good.data(), n).has_value()) << n;
    }
    auto longer = good;
    longer.push_back(0);
    EXPECT_FALSE(audio::ParseCdaStub(longer.data(), longer.size()).has_value());
    EXPECT_FALSE(audio::ParseCdaStub(nullptr, 44).has_value());
}

TEST(CdDevice, MountSourceOfAnOrdinaryFileIsItsFileSystemsDevice) {
    TempDir dir("mnt");
    WriteBytes(dir.file("x"), {1});
    // Not a CD drive, but the lookup must find the file system's source, whatever it is.
    EXPECT_FALSE(audio::MountSourceOf(dir.file("x").string()).empty());
    EXPECT_TRUE(audio::MountSourceOf(dir.file("absent").string()).empty());
}

}  // namespace
}  // namespace tarvel::test
