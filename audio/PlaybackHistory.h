// What the mixer rendered of one playing channel, by index into its voice's frame ring: the
// pre-volume stereo samples and the source positions they came from. Lets position and level
// describe the audio being heard rather than the audio being prepared, and tells where audio
// rendered ahead can be cut and rendered again.
//
// Written by the render step and read by queries, both with the channel's lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvel::audio {

class PlaybackHistory {
  public:
    // Holds at least `frames` frames of samples and enough marks for them.
    explicit PlaybackHistory(std::size_t frames);

    void reset();
    // `frames` stereo frames starting at ring index `at`; the channel moved from source frame
    // `before` to `after` while producing them. `jumped`: a sync ran or the source wrapped, so
    // the frames are not one straight run of the source.
    void record(std::uint64_t at, const std::int16_t* stereo, std::size_t frames,
                std::uint64_t before, std::uint64_t after, bool jumped);
    // Forgets everything recorded from ring index `at` on (that audio is rendered again).
    void truncate(std::uint64_t at);
    bool empty() const { return markCount_ == 0; }
    // One past the last ring index recorded.
    std::uint64_t end() const { return sampleEnd_; }

    // Source frame heard at ring index `index`; none when nothing was recorded there.
    std::optional<std::uint64_t> positionAt(std::uint64_t index) const;
    // Peaks of the `window` frames before ring index `index`: left low word, right high word.
    std::uint32_t levelBefore(std::uint64_t index, std::size_t window) const;

    // The first recorded block that starts at or after `index`: its ring index and the source
    // frame it starts at. A cut there lets the source be rendered again from an exact frame.
    struct BlockStart {
        std::uint64_t at;
        std::uint64_t source;
    };
    std::optional<BlockStart> blockStartAtOrAfter(std::uint64_t index) const;
    // Whether any block recorded at or after `index` jumped.
    bool jumpedFrom(std::uint64_t index) const;
    // The source frames the blocks at or after `index` ran through, if they form one straight
    // run: [first, last].
    struct Run {
        std::uint64_t first;
        std::uint64_t last;
    };
    std::optional<Run> straightRunFrom(std::uint64_t index) const;

  private:
    struct Mark {
        std::uint64_t at = 0;
        std::uint64_t frames = 0;
        std::uint64_t before = 0;
        std::uint64_t after = 0;
        bool jumped = false;
    };
    const Mark& mark(std::size_t i) const { return marks_[(markStart_ + i) % marks_.size()]; }
    // Index of the last mark starting at or before `index`, or none.
    std::optional<std::size_t> markAtOrBefore(std::uint64_t index) const;
    // Index of the first mark starting at or after `index` (markCount_ if none).
    std::size_t firstMarkFrom(std::uint64_t index) const;

    std::vector<Mark> marks_;
    std::size_t markStart_ = 0;
    std::size_t markCount_ = 0;
    std::size_t capacityFrames_;
    std::vector<std::int16_t> samples_;  // ring of stereo frames, indexed by ring index
    std::uint64_t sampleBegin_ = 0;      // oldest ring index held
    std::uint64_t sampleEnd_ = 0;        // one past the newest
};

}  // namespace tarvel::audio
