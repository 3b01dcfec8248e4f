// Seeks in a stream that decodes forward only: the frames after any seek are the stream's own,
// a seek back restarts it once, and what a loop replays comes from the cache without decoding.
#include <gtest/gtest.h>

#include <vector>

#include "audio/decoders/ForwardSeek.h"
#include "tests/support/CaseName.h"

namespace tarvel::test {
namespace {

using audio::ForwardSeek;

// Frame n of channel c holds (n * 3 + c) & 0x7FFF; counts what it had to decode.
class CountingStream final : public audio::ForwardStream {
  public:
    CountingStream(std::uint32_t channels, std::uint64_t length)
        : channels_(channels), length_(length) {}

    std::size_t readForward(std::int16_t* out, std::size_t frames) override {
        std::size_t n = 0;
        for (; n < frames && next_ < length_; ++n, ++next_) {
            for (std::uint32_t c = 0; c < channels_; ++c) {
                out[n * channels_ + c] = Sample(next_, c);
            }
        }
        decoded += n;
        return n;
    }
    bool restart() override {
        ++restarts;
        next_ = 0;
        return canRestart;
    }

    static std::int16_t Sample(std::uint64_t frame, std::uint32_t c) {
        return static_cast<std::int16_t>((frame * 3 + c) & 0x7FFF);
    }

    std::uint64_t decoded = 0;
    int restarts = 0;
    bool canRestart = true;

  private:
    std::uint32_t channels_;
    std::uint64_t length_;
    std::uint64_t next_ = 0;
};

constexpr std::uint32_t kChannels = 2;
constexpr std::uint64_t kLength = 50000;

// Reads `frames` at the seeker's position and checks they are the stream's frames from `at`.
void ExpectFramesFrom(ForwardSeek& seeker, CountingStream& stream, std::uint64_t at,
                      std::size_t frames) {
    std::vector<std::int16_t> buf(frames * kChannels);
    const std::size_t got = seeker.read(stream, buf.data(), frames);
    ASSERT_EQ(got, std::min<std::uint64_t>(frames, kLength - at)) << at;
    for (std::size_t i = 0; i < got; ++i) {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            ASSERT_EQ(buf[i * kChannels + c], CountingStream::Sample(at + i, c)) << at + i;
        }
    }
}

// A step that reads on from where the last one stopped, without a seek.
constexpr std::uint64_t kNoSeek = ~std::uint64_t{0};

struct Step {
    std::uint64_t seekTo;
    std::size_t read;
    int restartsAfter;    // restarts the stream has had after this step
    bool decodesNothing;  // served from the cache alone
};

struct SeekScript {
    const char* name;
    std::size_t cacheBytes;
    std::vector<Step> steps;
};

class ForwardSeeks : public ::testing::TestWithParam<SeekScript> {};

TEST_P(ForwardSeeks, FramesAreExactAndRestartsHappenOnlyWhereTheCacheCannotServe) {
    const auto& script = GetParam();
    CountingStream stream(kChannels, kLength);
    ForwardSeek seeker(kChannels, kLength, 0, script.cacheBytes);
    std::uint64_t at = 0;
    for (const Step& s : script.steps) {
        const std::uint64_t before = stream.decoded;
        if (s.seekTo != kNoSeek) {
            ASSERT_TRUE(seeker.seek(s.seekTo));
            at = s.seekTo;
        }
        ExpectFramesFrom(seeker, stream, at, s.read);
        at += s.read;
        EXPECT_EQ(stream.restarts, s.restartsAfter) << script.name << " seek " << s.seekTo;
        if (s.decodesNothing) {
            EXPECT_EQ(stream.decoded, before) << script.name << " seek " << s.seekTo;
        }
    }
}

constexpr std::size_t kBigCache = std::size_t{1} << 20;
constexpr std::size_t kSmallCache = 4000 * kChannels * sizeof(std::int16_t);

INSTANTIATE_TEST_SUITE_P(
    Decoders, ForwardSeeks,
    ::testing::Values(
        // Ahead only: frames are dropped on the way, the stream never starts over.
        SeekScript{"ahead",
                   kBigCache,
                   {{100, 50, 0, false},
                    {20000, 10, 0, false},
                    {49990, 100, 0, false},
                    {kLength, 10, 0, false}}},
        // From the first seek on everything decoded is kept: seeks back into it are free.
        SeekScript{"cached_from_first_seek",
                   kBigCache,
                   {{30000, 1000, 0, false}, {10000, 5000, 0, true}, {30500, 100, 0, true}}},
        // A repeat loop begun after plain playing: its first pass back restarts once, every
        // later pass is served from the cache.
        SeekScript{"loop",
                   kBigCache,
                   {{kNoSeek, 30000, 0, false},
                    {10000, 5000, 1, false},
                    {10000, 5000, 1, true},
                    {12345, 100, 1, true},
                    {10000, 5000, 1, true}}},
        // Back before where the cached run began: decoded again from the start.
        SeekScript{"before_run",
                   kBigCache,
                   {{kNoSeek, 100, 0, false},
                    {30000, 100, 0, false},
                    {29000, 100, 0, true},
                    {50, 100, 1, false},
                    {29500, 100, 1, false}}},
        // A cache too small for the loop: still exact, the stream restarts where it must.
        SeekScript{"small_cache",
                   kSmallCache,
                   {{kNoSeek, 100, 0, false},
                    {20000, 100, 0, false},
                    {1000, 9000, 1, false},
                    {1000, 100, 1, true},
                    {8000, 100, 2, false}}}),
    ::tarvel::test::CaseName());

TEST(ForwardSeeks, SeeksPastTheEndAndFailedRestartsAreRefusedCleanly) {
    CountingStream stream(kChannels, kLength);
    ForwardSeek seeker(kChannels, kLength, 0);
    EXPECT_FALSE(seeker.seek(kLength + 1));
    ExpectFramesFrom(seeker, stream, 0, 100);
    ASSERT_TRUE(seeker.seek(40000));
    ExpectFramesFrom(seeker, stream, 40000, 10);
    stream.canRestart = false;
    // Before the cached run, and the stream cannot start over: nothing is read, nothing wrong.
    ASSERT_TRUE(seeker.seek(5));
    std::int16_t buf[8];
    EXPECT_EQ(seeker.read(stream, buf, 4), 0u);
}

}  // namespace
}  // namespace tarvel::test
