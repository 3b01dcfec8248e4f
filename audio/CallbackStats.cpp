#include "audio/CallbackStats.h"

#include <algorithm>

namespace tarvel::audio {

namespace {
constexpr std::uint64_t kPercentile = 99;
constexpr std::uint64_t kHundred = 100;

void RaiseTo(std::atomic<std::uint64_t>& max, std::uint64_t v) {
    std::uint64_t seen = max.load(std::memory_order_relaxed);
    while (v > seen && !max.compare_exchange_weak(seen, v, std::memory_order_relaxed)) {
    }
}
}  // namespace

void CallbackStats::record(std::uint64_t startNs, std::uint64_t runNs) {
    calls_.fetch_add(1, std::memory_order_relaxed);
    RaiseTo(longest_, runNs);
    const std::uint64_t last = lastStart_.exchange(startNs, std::memory_order_relaxed);
    if (last != 0 && startNs > last) {
        RaiseTo(longestGap_, startNs - last);
        RaiseTo(recentGap_, startNs - last);
    }
    const std::size_t bucket = std::min<std::uint64_t>(runNs / kBucketNs, kBuckets - 1);
    histogram_[bucket].fetch_add(1, std::memory_order_relaxed);
}

CallbackFigures CallbackStats::figures() const {
    CallbackFigures f;
    f.calls = calls_.load(std::memory_order_relaxed);
    f.longestNs = longest_.load(std::memory_order_relaxed);
    f.underruns = underruns_.load(std::memory_order_relaxed);
    f.longestGapNs = longestGap_.load(std::memory_order_relaxed);
    std::uint64_t total = 0;
    for (const auto& b : histogram_) {
        total += b.load(std::memory_order_relaxed);
    }
    const std::uint64_t wanted = (total * kPercentile + kHundred - 1) / kHundred;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBuckets && total > 0; ++i) {
        seen += histogram_[i].load(std::memory_order_relaxed);
        if (seen >= wanted) {
            f.p99Ns = std::min<std::uint64_t>((i + 1) * kBucketNs,
                                              std::max<std::uint64_t>(f.longestNs, 1));
            break;
        }
    }
    return f;
}

void CallbackStats::reset() {
    calls_.store(0, std::memory_order_relaxed);
    longest_.store(0, std::memory_order_relaxed);
    underruns_.store(0, std::memory_order_relaxed);
    longestGap_.store(0, std::memory_order_relaxed);
    recentGap_.store(0, std::memory_order_relaxed);
    lastStart_.store(0, std::memory_order_relaxed);
    for (auto& b : histogram_) {
        b.store(0, std::memory_order_relaxed);
    }
}

}  // namespace tarvel::audio
