// The decoders' file reader: whatever mix of small reads, big reads and seeks a decoder makes, it
// returns exactly the file's bytes at its position, stops at the end, and peeks leave the position
// alone. The read-ahead blocks make the block edges, re-reads after a seek and blocks that have
// been dropped from memory the cases to hit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio/decoders/FileReadAhead.h"
#include "audio/decoders/SourceFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/TestAudio.h"

namespace tarvel::audio {
namespace {

using test::TempDir;

constexpr std::size_t kFileBytes = 200'000;  // three read-ahead blocks and a part
constexpr std::uint64_t kNoSeek = ~std::uint64_t{0};

struct Step {
    std::uint64_t seekTo;  // kNoSeek: read on from where the last step left off
    std::size_t bytes;
    int times;
};

struct ReadCase {
    const char* name;
    std::vector<Step> steps;
};

// kFileBytes of random bytes in a scratch file.
struct RandomFile {
    explicit RandomFile(std::uint32_t seed) : bytes(test::RandomBytes(kFileBytes, seed)) {
        test::WriteBytes(path, bytes);
    }
    TempDir dir{"source"};
    std::vector<std::uint8_t> bytes;
    std::string path = dir.file("f.bin").string();
};

class SourceFileReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SourceFileReads, ReturnExactlyTheFileBytesAtThePosition) {
    const RandomFile f(11);
    const std::vector<std::uint8_t>& bytes = f.bytes;
    auto file = SourceFile::Open(f.path);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->size(), kFileBytes);

    std::uint64_t pos = 0;
    int stepIndex = 0;
    for (const Step& step : GetParam().steps) {
        if (step.seekTo != kNoSeek) {
            ASSERT_TRUE(file->seekTo(static_cast<std::int64_t>(step.seekTo)));
            pos = step.seekTo;
        }
        for (int t = 0; t < step.times; ++t) {
            std::vector<std::uint8_t> got(step.bytes, 0xEE);
            const std::size_t n = file->read(got.data(), got.size());
            const std::size_t want =
                pos >= kFileBytes ? 0 : std::min<std::size_t>(step.bytes, kFileBytes - pos);
            ASSERT_EQ(n, want) << "step " << stepIndex << " read " << t << " at " << pos;
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(pos)))
                << "step " << stepIndex << " read " << t << " at " << pos;
            pos += n;
            ASSERT_EQ(file->tell(), pos);
        }
        ++stepIndex;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, SourceFileReads,
    ::testing::Values(
        // A frame header, then the frame, to the end and past it.
        ReadCase{"HeaderThenFrame",
                 {{0, 4, 1}, {kNoSeek, 413, 1}, {kNoSeek, 4, 500}, {kNoSeek, 413, 500}}},
        ReadCase{"OddSizesToTheEnd", {{0, 997, 250}}},
        // Back into the block just read, and back to a block read long ago.
        ReadCase{"SeekBackWithinAndBeforeTheBlock",
                 {{1000, 100, 3}, {1050, 100, 2}, {70'000, 10, 1}, {10, 65'600, 1}, {5, 20, 1}}},
        // Forward past the block, then reads that straddle its end.
        ReadCase{"SeekForwardAndStraddle",
                 {{150'000, 8, 1}, {150'000 + 65'530, 12, 1}, {kNoSeek, 70'000, 1}}},
        // Reads at least a block long, from a buffered position and from a fresh one.
        ReadCase{"BigReads",
                 {{3, 100, 1}, {kNoSeek, 65'536, 1}, {kNoSeek, 100'000, 1}, {1, 199'999, 1}}},
        // Positions at and beyond the end read nothing.
        ReadCase{"AtAndPastTheEnd",
                 {{kFileBytes - 3, 10, 1},
                  {kFileBytes, 10, 2},
                  {kFileBytes + 5'000, 10, 1},
                  {kFileBytes - 1, 1, 1}}}),
    ::tarvel::test::CaseName());

TEST(SourceFile, PeekReadsAnywhereWithoutMovingThePosition) {
    const RandomFile f(12);
    const std::vector<std::uint8_t>& bytes = f.bytes;
    auto file = SourceFile::Open(f.path);
    ASSERT_TRUE(file);
    std::vector<std::uint8_t> first(10);
    ASSERT_EQ(file->read(first.data(), first.size()), 10u);
    const auto tail = file->peek(kFileBytes - 100, 1000);
    EXPECT_EQ(tail, std::vector<std::uint8_t>(bytes.end() - 100, bytes.end()));
    EXPECT_TRUE(file->peek(kFileBytes, 10).empty());
    EXPECT_EQ(file->tell(), 10u);
    std::vector<std::uint8_t> next(10);
    ASSERT_EQ(file->read(next.data(), next.size()), 10u);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), bytes.begin() + 10));
}

TEST(SourceFile, MovedFromFileKeepsReadingInItsNewOwner) {
    const RandomFile f(13);
    const std::vector<std::uint8_t>& bytes = f.bytes;
    auto opened = SourceFile::Open(f.path);
    ASSERT_TRUE(opened);
    std::vector<std::uint8_t> got(300);
    ASSERT_EQ(opened->read(got.data(), 100), 100u);
    SourceFile moved(std::move(*opened));
    ASSERT_EQ(moved.read(got.data() + 100, 200), 200u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin()));
}

// Jumps and straight stretches, like a player that loops, seeks and goes on.
void ReadsAroundAreExact(SourceFile& file, const std::vector<std::uint8_t>& bytes) {
    std::mt19937 rng(5);
    std::vector<std::uint8_t> got;
    for (int i = 0; i < 400; ++i) {
        const std::uint64_t at = rng() % (bytes.size() + 1000);
        const std::size_t n = 1 + rng() % (3 * FileReadAhead::kBlockBytes / 2);
        ASSERT_TRUE(file.seekTo(static_cast<std::int64_t>(at)));
        got.assign(n, 0xEE);
        const std::size_t read = file.read(got.data(), n);
        const std::size_t want =
            at >= bytes.size() ? 0 : std::min<std::size_t>(n, bytes.size() - at);
        ASSERT_EQ(read, want) << at << " " << n;
        ASSERT_TRUE(std::equal(
            got.begin(), got.begin() + static_cast<std::ptrdiff_t>(read),
            bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(at, bytes.size()))))
            << at;
        // Then a stretch straight on, as a decoder plays.
        for (int k = 0; k < 3 && at + read < bytes.size(); ++k) {
            const std::uint64_t pos = file.tell();
            const std::size_t m = std::min<std::size_t>(4096, bytes.size() - pos);
            got.assign(4096, 0);
            ASSERT_EQ(file.read(got.data(), 4096), m);
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(m),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(pos)));
        }
    }
}

TEST(SourceFile, JumpsAroundAFileLargerThanWhatIsKeptInMemoryGiveItsBytes) {
    // More blocks than the read-ahead keeps, read like a player that loops, seeks and goes on:
    // evicted blocks come back from the disk, kept ones from memory, all exact. A reader that
    // reads only a little ahead (a helper of the parallel scan) must give the same bytes.
    constexpr std::size_t kBig = (FileReadAhead::kKeptBlocks + 20) * FileReadAhead::kBlockBytes;
    TempDir dir("source");
    const std::vector<std::uint8_t> bytes = test::RandomBytes(kBig + 777, 21);
    const std::string path = dir.file("big.bin").string();
    test::WriteBytes(path, bytes);
    const auto opened = SourceFile::Open(path);
    ASSERT_TRUE(opened);
    for (const ReadAhead depth : {ReadAhead::Deep, ReadAhead::Short}) {
        SCOPED_TRACE(depth == ReadAhead::Deep ? "deep" : "short");
        auto file = opened->duplicate(depth);
        ASSERT_TRUE(file);
        ReadsAroundAreExact(*file, bytes);
    }
}

TEST(SourceFile, RefusesWhatIsNotARegularFile) {
    TempDir dir("source");
    EXPECT_FALSE(SourceFile::Open(dir.path().string()));
    EXPECT_FALSE(SourceFile::Open(dir.file("missing").string()));
}

}  // namespace
}  // namespace tarvel::audio
