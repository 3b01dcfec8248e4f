// Decodes one source ahead of its reader on helper threads, for a reader that goes straight
// through it (the overview scan): the source is cut into segments, each helper takes the next
// segment nobody has taken, seeks its own decoder there and decodes it, and the reader gets the
// segments strictly in order. Every decoder seeks exactly (Decoder::openAnother), so the reader
// gets the very frames one decoder read from the same position would give.
//
// Threads: the reader calls the Decoder operations (one thread at a time, as for any decoder);
// the helpers decode. The slots' states, the claim counter and the reader's segment are guarded
// by mutex_. A slot's samples belong to the helper that claimed it until it is marked done,
// then to the reader until the reader moves past it; a helper's decoder belongs to that helper
// while the helpers run, and to the reader's thread when they are stopped. One helper runs at
// the reader's priority, doing what the reader would have done alone; the others run at a lower
// one, so that the render thread and every other thread at the usual priority come first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Decoder.h"

namespace tarvel::audio {

struct ParallelSettings {
    std::uint64_t segmentFrames = 0;  // frames per segment (> 0)
    std::size_t slots = 0;            // segments decoded or waiting for the reader at once (> 0)
};

class ParallelDecoder final : public Decoder {
  public:
    // `decoders`: one or more decoders of one source with the same format and length, each
    // decoded by a helper of its own; the first stands at `start`, the others at 0.
    ParallelDecoder(std::vector<std::unique_ptr<Decoder>> decoders, std::uint64_t start,
                    ParallelSettings settings);
    ~ParallelDecoder() override;  // stops and joins the helpers
    ParallelDecoder(const ParallelDecoder&) = delete;
    ParallelDecoder& operator=(const ParallelDecoder&) = delete;

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kind_; }
    ReadResult read(std::int16_t* out, std::size_t frames) override;
    // Stops the helpers and starts them again at `frame`.
    bool seek(std::uint64_t frame) override;

  private:
    enum class SlotState { Free, Decoding, Done };
    struct Slot {
        std::uint64_t segment = 0;
        SlotState state = SlotState::Free;
        std::size_t frames = 0;  // decoded
        bool whole = false;      // all the segment's frames (otherwise the source ends here)
        std::vector<std::int16_t> samples;
    };
    struct Helper {
        std::unique_ptr<Decoder> decoder;
        std::uint64_t position = 0;  // of `decoder`
    };

    void start(std::uint64_t frame);
    void stop();
    void run(Helper& helper);
    // Decodes `segment` into `slot`; false if the source gave fewer frames.
    bool decode(Helper& helper, std::uint64_t segment, Slot& slot);
    std::uint64_t segmentFirst(std::uint64_t segment) const {
        return begin_ + segment * segmentFrames_;
    }

    const std::uint32_t rate_;
    const std::uint32_t channels_;
    const std::uint64_t length_;
    const std::uint32_t kind_;
    const std::uint64_t segmentFrames_;
    std::vector<Helper> helpers_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;      // segment s lives in slots_[s % size]; states guarded
    std::uint64_t begin_ = 0;      // first frame of segment 0 (set while stopped)
    std::uint64_t segments_ = 0;   // guarded: lowered when a segment comes out short
    std::uint64_t claimNext_ = 0;  // guarded
    std::uint64_t reading_ = 0;    // guarded: the segment the reader is in
    std::atomic<bool> stopping_{false};
    std::vector<std::jthread> threads_;

    // The reader's own.
    std::size_t readAt_ = 0;  // frames of the current segment handed out
    bool ended_ = false;
};

// Helper threads worth starting for one source: the cores this process may run on, at most a
// few; 1 means "decode sequentially".
unsigned DecodeAheadThreads();

// A decoder that decodes `decoder`'s source ahead on `threads` helpers, from `position` (where
// `decoder` stands), taking `decoder` over. nullptr, with `decoder` left as it was, where the
// source cannot be split (Decoder::openAnother), fewer than two helpers are possible, or the
// rest of the source is a single segment.
std::unique_ptr<Decoder> DecodeAhead(std::unique_ptr<Decoder>& decoder, std::uint64_t position,
                                     unsigned threads);
// The same with segments and slots given (tests cut small sources into many segments).
std::unique_ptr<Decoder> DecodeAhead(std::unique_ptr<Decoder>& decoder, std::uint64_t position,
                                     unsigned threads, ParallelSettings settings);

}  // namespace tarvel::audio
