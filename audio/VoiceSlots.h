// The voices the device callback mixes: a fixed array of pointers it walks without a lock.
//
// publish()/retire() run on any thread other than the callback's, one at a time (the mixer's
// list lock). retire() returns only once no callback can still be using the voice, so its owner
// may free it afterwards; the wait is at most the rest of one callback run.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

class Voice;

class VoiceSlots {
  public:
    static constexpr std::size_t kSlots = 16;

    // False if every slot is taken.
    bool publish(Voice* voice);
    void retire(Voice* voice);
    bool published(const Voice* voice) const;

    // Device callback: brackets one run; in between, the voices are slot(i) for i < kSlots.
    void enter() { runs_.fetch_add(1, std::memory_order_seq_cst); }
    void leave() { runs_.fetch_add(1, std::memory_order_release); }
    Voice* slot(std::size_t i) const { return slots_[i].load(std::memory_order_seq_cst); }

  private:
    std::array<std::atomic<Voice*>, kSlots> slots_{};
    // Odd while a callback runs; every run moves it on by two.
    std::atomic<std::uint64_t> runs_{0};
};

}  // namespace tarvel::audio
