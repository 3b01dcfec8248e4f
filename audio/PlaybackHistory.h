// What the mixer sent of one playing channel, by device frame: the channel's pre-volume stereo
// samples and the source positions they came from. Lets position and level describe the audio
// being heard rather than the audio being prepared.
//
// Written by the mixing thread and read by any thread, both under the channel's mutex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvel::audio {

class PlaybackHistory {
  public:
    // Longer than the output latency plus one level window at any device rate we open.
    static constexpr std::size_t kCapacityFrames = 1 << 15;
    static constexpr std::size_t kMarks = 512;

    PlaybackHistory();

    void reset();
    // `frames` stereo frames starting at device frame `at`; the channel moved from source frame
    // `before` to `after` while producing them.
    void record(std::uint64_t at, const std::int16_t* stereo, std::size_t frames,
                std::uint64_t before, std::uint64_t after);
    bool empty() const { return markCount_ == 0; }

    // Source frame heard at device frame `frame`; none before anything was recorded.
    std::optional<std::uint64_t> positionAt(std::uint64_t frame) const;
    // Peaks of the `window` frames before device frame `frame`: left low word, right high word.
    std::uint32_t levelBefore(std::uint64_t frame, std::size_t window) const;

  private:
    struct Mark {
        std::uint64_t at = 0;
        std::uint64_t frames = 0;
        std::uint64_t before = 0;
        std::uint64_t after = 0;
    };
    const Mark& mark(std::size_t i) const { return marks_[(markStart_ + i) % kMarks]; }

    std::array<Mark, kMarks> marks_{};
    std::size_t markStart_ = 0;
    std::size_t markCount_ = 0;
    std::vector<std::int16_t> samples_;  // ring of stereo frames, indexed by device frame
    std::uint64_t sampleBegin_ = 0;      // oldest device frame held
    std::uint64_t sampleEnd_ = 0;        // one past the newest
};

}  // namespace tarvel::audio
