// How long the device callback takes, and how often it found a ring short: kept by the callback
// with relaxed atomics (no lock, no allocation), read by benchmarks and tests at any time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tarvel::audio {

struct CallbackFigures {
    std::uint64_t calls = 0;
    std::uint64_t longestNs = 0;
    std::uint64_t p99Ns = 0;  // to the resolution of the histogram (kBucketNs)
    std::uint64_t underruns = 0;
    // The longest time from one callback's start to the next (the device's own pace, plus any
    // delay of its thread).
    std::uint64_t longestGapNs = 0;
};

class CallbackStats {
  public:
    static constexpr std::uint64_t kBucketNs = 1000;
    static constexpr std::size_t kBuckets = 2048;  // up to about 2 ms; longer runs share the last

    // Device callback: a run that started at `startNs` (steady clock) and took `runNs`.
    void record(std::uint64_t startNs, std::uint64_t runNs);
    void addUnderruns(std::uint64_t n) { underruns_.fetch_add(n, std::memory_order_relaxed); }
    // The device (re)starts: the pause before its next callback is not a gap.
    void restarted() { lastStart_.store(0, std::memory_order_relaxed); }

    // Any thread.
    CallbackFigures figures() const;
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    // The longest gap between callback starts since the last call of this (one reader).
    std::uint64_t takeRecentGapNs() { return recentGap_.exchange(0, std::memory_order_relaxed); }
    void reset();

  private:
    std::atomic<std::uint64_t> calls_{0};
    std::atomic<std::uint64_t> longest_{0};
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<std::uint64_t> longestGap_{0};
    std::atomic<std::uint64_t> recentGap_{0};
    std::atomic<std::uint64_t> lastStart_{0};
    std::array<std::atomic<std::uint32_t>, kBuckets> histogram_{};
};

}  // namespace tarvel::audio
