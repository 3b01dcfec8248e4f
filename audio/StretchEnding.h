// The last moments of a stretched stream that stops at a mark. The stretcher's output runs ahead
// of or behind the source by up to a few tens of milliseconds, so its last frames are not the
// audio at the mark; here they are joined into the source's own frames just before the mark:
// a crossfade over the first two thirds of the ending, then the source alone. The length of the
// stream is not changed.
//
// The crossfade's gains are fitted to how alike the two sides are (their normalised correlation
// over the crossfade): alike sides are summed with gains that keep the amplitude, unrelated ones
// with gains that keep the power, so the join neither dips nor swells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::audio {

class StretchEnding {
  public:
    // `endingFrames`: the most output frames the ending replaces. Allocates here only.
    StretchEnding(std::uint32_t channels, std::size_t endingFrames);

    std::size_t endingFrames() const { return capacity_; }

    // Source side: `frames` frames fed to the stretcher; `continuous`: they follow the frames
    // remembered so far (false after a jump, which starts the memory afresh).
    void remember(const std::int16_t* in, std::size_t frames, bool continuous);
    void forget() { held_ = 0; }
    std::size_t remembered() const { return held_; }

    // Rewrites the last frames of `out` (the rest of the stream, `frames` frames) so that it
    // ends on the remembered source frames.
    void apply(std::int16_t* out, std::size_t frames) const;

  private:
    const std::uint32_t channels_;
    const std::size_t capacity_;
    std::vector<std::int16_t> last_;  // the last `held_` source frames, oldest first
    std::size_t held_ = 0;
};

}  // namespace tarvel::audio
