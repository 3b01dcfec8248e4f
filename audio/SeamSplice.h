// A loop seam made inaudible: when playback jumps from one source position to another without a
// pause (a sync callback's seek), the audio that would have followed the old position is faded
// out over the first frames after the new one while those fade in. The seam adds or removes no
// time: the crossfade lies over frames that play anyway.
//
//   read up to frames() frames that follow the old position into continuation()
//   begin(n)                           // n frames read; silence stands for the rest
//   apply(frames, count) on every block read from the new position, until !active()
//
// A seam within the crossfade of the last one starts from what the listener would have heard:
// the continuation is blended with what is left of the previous fade-out.
//
// Used by one thread at a time (the owning channel's lock). Every buffer is allocated here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/FadeCurve.h"

namespace tarvel::audio {

class SeamSplice {
  public:
    // A crossfade of `frames` frames of `channels` interleaved samples.
    SeamSplice(std::size_t frames, std::uint32_t channels, FadeCurve::Shape shape);

    std::size_t frames() const { return curve_.frames(); }
    // Room for frames() frames of the continuation.
    std::int16_t* continuation() { return next_.data(); }
    // Starts a crossfade whose fade-out is the first `got` frames of continuation().
    void begin(std::size_t got);
    // Crossfades the continuation into `count` frames read from the new position.
    void apply(std::int16_t* frames, std::size_t count);
    bool active() const { return at_ < held_.size() / channels_ && started_; }
    void cancel() { started_ = false; }

  private:
    const std::uint32_t channels_;
    FadeCurve curve_;
    std::vector<std::int16_t> held_;  // the continuation being faded out
    std::vector<std::int16_t> next_;  // where the next continuation is read
    std::size_t at_ = 0;              // frames of the crossfade done
    bool started_ = false;
};

}  // namespace tarvel::audio
