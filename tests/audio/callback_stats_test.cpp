// The device callback's figures, as the benchmark reports them: longest run, 99th percentile,
// longest gap between runs, and a restart that does not count as a gap; and the lines the output
// log writes from them.
#include <gtest/gtest.h>

#include <string>

#include "audio/CallbackStats.h"
#include "audio/OutputLog.h"

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

// Each shortfall is told once, when it happens; a log that is off says nothing.
TEST(OutputLog, TellsEachShortfallOnce) {
    CallbackStats stats;
    OutputLog log(true, kPeriodNs);
    std::uint64_t t = 1'000'000'000;
    const auto lines = [&](std::uint64_t passNs) {
        testing::internal::CaptureStderr();
        log.check(stats, passNs);
        return testing::internal::GetCapturedStderr();
    };
    stats.record(t, 10'000);
    stats.record(t += kPeriodNs, 10'000);
    EXPECT_EQ(lines(1'000'000), "");

    stats.addUnderruns(2);
    stats.record(t += kPeriodNs + kPeriodNs / 2, 10'000);  // late, but within the slack
    stats.record(t += kPeriodNs, 10'000);
    EXPECT_EQ(lines(1'000'000), "tarvel-player: output: ring short 2 time(s)\n");
    stats.record(t += 2 * kPeriodNs, 10'000);  // 46 ms after the last call
    stats.record(t += kPeriodNs, 10'000);
    EXPECT_EQ(lines(OutputLog::kLongPassNs),
              "tarvel-player: output: 46.0 ms between two device calls\n"
              "tarvel-player: output: render pass took 50.0 ms\n");
    stats.record(t += kPeriodNs, 10'000);
    EXPECT_EQ(lines(1'000'000), "") << "an old shortfall was told again";

    stats.reset();
    stats.addUnderruns(1);
    EXPECT_EQ(lines(0), "tarvel-player: output: ring short 1 time(s)\n");

    OutputLog off(false, kPeriodNs);
    stats.addUnderruns(1);
    testing::internal::CaptureStderr();
    off.check(stats, OutputLog::kLongPassNs);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace tarvel::audio
