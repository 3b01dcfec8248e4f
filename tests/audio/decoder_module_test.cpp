// Tracker modules through the music form: length known at open and kept by reads, rate
// choice, volume ramping, seeking, and modules with damaged pattern data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio/Decoder.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::OpenMusicFile;
using decoder_test::ReadAll;
using decoder_test::ReadFrames;

int LargestStep(const std::vector<std::int16_t>& s) {
    int step = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
        step = std::max(step, std::abs(s[i] - s[i - 2]));
    }
    return step;
}

TEST(Module, LengthIsKnownAtOpenAndReadsStopThere) {
    TempDir dir("mod");
    const ModOptions o{3, 8};
    WriteBytes(dir.file("a.mod"), EncodeMod(o));
    for (std::uint32_t rate : {0u, 22050u, 48000u}) {
        auto d = OpenMusicFile(dir.file("a.mod"), rate, true);
        ASSERT_NE(d, nullptr);
        const std::uint32_t want = rate == 0 ? 44100 : rate;
        EXPECT_EQ(d->rate(), want);
        EXPECT_EQ(d->channels(), 2u);
        EXPECT_EQ(d->kind(), audio::kKindMusic);
        // The rows' playing time, and then the last notes ringing on, which belong to the music.
        const auto rows = static_cast<std::uint64_t>(
            std::llround(o.patterns * o.rowsPerPattern * kModSecondsPerRow * want));
        EXPECT_GT(d->lengthFrames(), rows);
        EXPECT_LT(d->lengthFrames(), rows + want / 2);
        const auto all = ReadAll(*d, 999);
        EXPECT_EQ(all.size(), d->lengthFrames() * 2);
        EXPECT_TRUE(std::any_of(all.begin() + static_cast<std::ptrdiff_t>(rows * 2), all.end(),
                                [](std::int16_t v) { return v != 0; }));
        EXPECT_GT(LargestStep(all), 0);
        std::int16_t buf[8];
        EXPECT_TRUE(d->read(buf, 4).ended());
    }
}

TEST(Module, EverySongOfTheOrderListPlaysOneAfterAnother) {
    // Three songs that a player following the order list would never leave: the source is all
    // three in a row, each with its ringing end, and every one of them sounds.
    TempDir dir("subsongs");
    const ModOptions o{2, 16, 3};
    WriteBytes(dir.file("s.mod"), EncodeMod(o));
    auto d = OpenMusicFile(dir.file("s.mod"), 0, true);
    ASSERT_NE(d, nullptr);
    const auto songRows = static_cast<std::uint64_t>(
        std::llround(o.patterns * o.rowsPerPattern * kModSecondsPerRow * 44100));
    EXPECT_GT(d->lengthFrames(), 3 * songRows);
    EXPECT_LT(d->lengthFrames(), 3 * (songRows + 22050));
    const auto all = ReadAll(*d);
    ASSERT_EQ(all.size(), d->lengthFrames() * 2);
    const std::uint64_t song = d->lengthFrames() / 3;
    for (std::uint64_t i = 0; i < 3; ++i) {
        const auto mid = At(all, (song * i + song / 2) * 2);
        EXPECT_GT(LargestStep(std::vector<std::int16_t>(mid, mid + 8820)), 0) << "song " << i;
    }
    // A seek into the last song lands in it, not in the first.
    ASSERT_TRUE(d->seek(song * 2 + song / 2));
    const auto part = ReadFrames(*d, 4410);
    EXPECT_GT(Correlation(part.data(), all.data() + (song * 2 + song / 2) * 2, part.size()), 0.99);
}

TEST(Module, RampingSoftensNoteStarts) {
    TempDir dir("ramp");
    WriteBytes(dir.file("a.mod"), EncodeMod());
    auto soft = OpenMusicFile(dir.file("a.mod"), 0, true);
    auto hard = OpenMusicFile(dir.file("a.mod"), 0, false);
    ASSERT_NE(soft, nullptr);
    ASSERT_NE(hard, nullptr);
    const int softStep = LargestStep(ReadAll(*soft));
    const int hardStep = LargestStep(ReadAll(*hard));
    EXPECT_LT(softStep * 4, hardStep);
}

TEST(Module, RepeatedRendersAreIdentical) {
    TempDir dir("det");
    WriteBytes(dir.file("a.mod"), EncodeMod());
    auto a = OpenMusicFile(dir.file("a.mod"), 0, true);
    auto b = OpenMusicFile(dir.file("a.mod"), 0, true);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ReadAll(*a, 1000), ReadAll(*b, 777));
}

TEST(Module, SeekPutsTheNextReadAtTheFrameAndKeepsTheMusic) {
    TempDir dir("mseek");
    WriteBytes(dir.file("a.mod"), EncodeMod({2, 16}));
    auto d = OpenMusicFile(dir.file("a.mod"), 0, true);
    ASSERT_NE(d, nullptr);
    const auto all = ReadAll(*d);
    const std::uint64_t len = d->lengthFrames();
    for (std::uint64_t target :
         {std::uint64_t{100}, std::uint64_t{44100}, len / 2 + 3, len - 10, std::uint64_t{0}}) {
        ASSERT_TRUE(d->seek(target));
        const auto rest = ReadAll(*d);
        ASSERT_EQ(rest.size(), (len - target) * 2) << target;
        // Mixer state is rebuilt at a seek, so the samples are close, not identical; where
        // the music has died away they are silence on both sides.
        const std::size_t n = std::min<std::size_t>(rest.size(), 8820);
        const auto ref = all.begin() + static_cast<std::ptrdiff_t>(2 * target);
        if (std::all_of(ref, ref + static_cast<std::ptrdiff_t>(n),
                        [](std::int16_t v) { return v == 0; })) {
            EXPECT_TRUE(
                std::equal(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(n), ref))
                << target;
        } else {
            EXPECT_GT(Correlation(rest.data(), all.data() + 2 * target, n), 0.9) << target;
        }
    }
    EXPECT_FALSE(d->seek(len + 1));
}

TEST(Module, NonModulesAndDamagedModulesFailOrDecodeSafely) {
    TempDir dir("badmod");
    const ModOptions o{4, 16};
    const auto good = EncodeMod(o);
    std::vector<std::vector<std::uint8_t>> inputs;
    inputs.push_back({});
    inputs.push_back(RandomBytes(5000, 9));
    // Truncated inside the header, inside the patterns and inside the sample.
    for (std::size_t cut : {std::size_t{100}, ModPatternOffset() + 500, good.size() - 300}) {
        inputs.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    // Random pattern data: any effect (jumps, breaks, loops, speed 0) in any cell.
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        auto bad = good;
        const auto noise = RandomBytes(ModPatternBytes(o), seed);
        std::copy(noise.begin(), noise.end(), At(bad, ModPatternOffset()));
        inputs.push_back(bad);
    }
    // An order list naming patterns the file does not hold.
    auto orders = good;
    orders[ModPatternOffset() - 4 - 128 + 1] = 120;
    inputs.push_back(orders);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        WriteBytes(dir.file("b.mod"), inputs[i]);
        auto d = OpenMusicFile(dir.file("b.mod"), 0, true);
        if (d == nullptr) {
            continue;
        }
        EXPECT_EQ(d->channels(), 2u);
        const std::uint64_t len = d->lengthFrames();
        EXPECT_GT(len, 0u) << i;
        // Read at most a minute: enough to cross every damaged row without running forever.
        const auto got = ReadFrames(*d, std::min<std::uint64_t>(len, 60 * 44100));
        EXPECT_EQ(got.size() / 2, std::min<std::uint64_t>(len, 60 * 44100)) << i;
        EXPECT_TRUE(d->seek(len / 2));
    }
}

}  // namespace
}  // namespace tarvel::test
