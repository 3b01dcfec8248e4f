// The device callback's figures, as the benchmark reports them: longest run, 99th percentile,
// longest gap between runs, and a restart that does not count as a gap.
#include <gtest/gtest.h>

#include "audio/CallbackStats.h"

namespace tarvel::audio {
namespace {

constexpr std::uint64_t kPeriodNs = 23'000'000;

TEST(CallbackStats, LongestPercentileAndGap) {
    CallbackStats stats;
    std::uint64_t t = 1'000'000'000;
    for (int i = 0; i < 995; ++i, t += kPeriodNs) {
        stats.record(t, 10'000);  // 10 us
    }
    for (int i = 0; i < 5; ++i, t += kPeriodNs) {
        stats.record(t, 400'000);  // fewer than one in a hundred
    }
    stats.record(t + kPeriodNs, 2'500'000);  // one late and long run
    CallbackFigures f = stats.figures();
    EXPECT_EQ(f.calls, 1001u);
    EXPECT_EQ(f.longestNs, 2'500'000u);
    EXPECT_GE(f.p99Ns, 10'000u);
    EXPECT_LE(f.p99Ns, 11'000u);
    EXPECT_EQ(f.longestGapNs, 2 * kPeriodNs);

    // A device opened again after a pause: the pause is no gap.
    stats.restarted();
    stats.record(t + 100 * kPeriodNs, 10'000);
    EXPECT_EQ(stats.figures().longestGapNs, 2 * kPeriodNs);
    stats.addUnderruns(3);
    EXPECT_EQ(stats.figures().underruns, 3u);
    stats.reset();
    f = stats.figures();
    EXPECT_EQ(f.calls, 0u);
    EXPECT_EQ(f.longestNs, 0u);
    EXPECT_EQ(f.p99Ns, 0u);
    EXPECT_EQ(f.longestGapNs, 0u);
}

}  // namespace
}  // namespace tarvel::audio
