// A CD track whose "drive" the test controls: every sector can be made to take a while, and the
// drive can be held until the test lets it go, as a real drive does while it spins up or retries.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/Decoder.h"
#include "audio/cd/CdSectorSource.h"

namespace tarvel::engine_test {

class SlowDrive {
  public:
    // Held: every sector read waits until release(). Delay: each read also takes this long.
    void hold();
    void release();
    void setDelay(std::chrono::milliseconds delay) { delayMs_ = static_cast<int>(delay.count()); }
    int sectorsRead() const { return sectorsRead_.load(); }

    // Waits while held, then for the delay; counts the read.
    void beforeRead();

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    std::atomic<int> delayMs_{0};
    std::atomic<int> sectorsRead_{0};
};

// The samples of sector content: frame f of the track holds the 16-bit value f on the left and
// -f on the right (wrapping), so any dropped, repeated or shifted frame shows.
std::int16_t CdLeft(std::uint64_t frame);
std::int16_t CdRight(std::uint64_t frame);

// A decoder over `sectors` sectors of that content read through `drive` (kept alive by the
// decoder as well).
std::unique_ptr<audio::Decoder> MakeSlowCd(std::uint32_t sectors, std::shared_ptr<SlowDrive> drive);

}  // namespace tarvel::engine_test
