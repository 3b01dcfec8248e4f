// A single-producer, single-consumer ring of 16-bit stereo frames between the engine's render
// thread (producer) and the device callback (consumer), without a lock.
//
// Frames are addressed by 64-bit indices that only grow: frame i lives in slot i mod capacity.
// The producer owns the write index, the consumer the read index; each publishes its own with
// release order and reads the other's with acquire order, so every slot is handed over with a
// happens-before edge (TSan can follow it).
//
// Threads: the producer side is used by one thread at a time (whoever holds the owning channel's
// lock); the consumer side by the device callback, or by the capture output's caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::audio {

class FrameRing {
  public:
    static constexpr std::size_t kStereo = 2;

    // Room for at least `minFrames` frames (rounded up to a power of two). Allocates here only.
    explicit FrameRing(std::size_t minFrames);
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    std::size_t capacity() const { return mask_ + 1; }

    // ---- producer ----
    std::uint64_t writeIndex() const { return write_.load(std::memory_order_relaxed); }
    // Frames that may be written without touching a frame the consumer has not read yet.
    std::size_t space() const;
    // Appends `frames` frames (at most space()) and publishes them.
    void write(const std::int16_t* stereo, std::size_t frames);
    // Takes back the frames from index `to` on, which must all lie beyond what the consumer can
    // be reading now (the caller keeps a device buffer's worth of margin).
    void truncate(std::uint64_t to);

    // ---- consumer ----
    std::uint64_t readIndex() const { return read_.load(std::memory_order_acquire); }
    // Frames published and not read, counted from `from` (an index not below the read index).
    std::size_t readableFrom(std::uint64_t from) const;
    // Calls f(left, right) for the `frames` frames from index `from`, in order.
    template <typename F>
    void forEach(std::uint64_t from, std::size_t frames, F&& f) const {
        for (std::size_t k = 0; k < frames; ++k) {
            const std::size_t slot = static_cast<std::size_t>((from + k) & mask_) * kStereo;
            f(samples_[slot], samples_[slot + 1]);
        }
    }
    // Marks everything before `index` as read.
    void consumeTo(std::uint64_t index) { read_.store(index, std::memory_order_release); }

  private:
    const std::uint64_t mask_;
    std::vector<std::int16_t> samples_;
    std::atomic<std::uint64_t> write_{0};
    std::atomic<std::uint64_t> read_{0};
};

}  // namespace tarvel::audio
