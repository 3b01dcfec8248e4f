// The form in which the stretcher works on a source, and the way there and back.
//
// SoundTouch takes at most 192 kHz and, at a tempo other than normal, fewer than 16 channels.
// A source beyond that is stretched in a form it takes:
//  - above 192 kHz, at the rate divided by a whole factor (at least 64 kHz, so everything up to
//    well past the 22 kHz a listener hears survives), and brought back to the source's rate;
//  - with more than 8 channels, as the stereo pair the mixer would make of it, and handed out
//    with the left side in every even-numbered channel and the right in every odd-numbered one,
//    which the mixer folds back to exactly that pair.
// Frames handed out are always in the source's rate and channel count, so lengths, positions and
// the byte scale stay the source's. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/IntegerResampler.h"

namespace tarvel::audio {

class StretchFormat {
  public:
    StretchFormat(std::uint32_t rate, std::uint32_t channels);

    std::uint32_t workRate() const { return rate_ / resampler_.factor(); }
    std::uint32_t workChannels() const { return workChannels_; }
    std::uint32_t rateFactor() const { return resampler_.factor(); }
    // Whether the source is stretched as it is.
    bool native() const { return resampler_.factor() == 1 && workChannels_ == channels_; }
    // Source frames by which the audio entering the stretcher lags the source, and source-rate
    // frames by which the audio handed out lags the stretcher's output.
    std::size_t inputDelayFrames() const { return native() ? 0 : resampler_.delayFrames(); }
    std::size_t outputDelayFrames() const { return native() ? 0 : resampler_.delayFrames(); }

    // Source frames to work frames (float, full scale 1.0); `work` is replaced.
    void toWork(const std::int16_t* in, std::size_t frames, std::vector<float>& work);
    // Work frames to source frames; appended to `out`.
    void fromWork(const float* work, std::size_t frames, std::vector<std::int16_t>& out);
    // Forgets the audio held by the rate filters.
    void reset();

  private:
    const std::uint32_t rate_;
    const std::uint32_t channels_;
    const std::uint32_t workChannels_;
    IntegerResampler resampler_;
    std::vector<std::int16_t> stereo_;
    std::vector<float> wide_;
    std::vector<float> narrow_;
};

}  // namespace tarvel::audio
