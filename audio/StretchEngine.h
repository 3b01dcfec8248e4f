// One time stretcher behind the tempo stream: frames in, the same audio at another speed out,
// in the work form (interleaved float, full scale 1.0). Two live behind it: SoundTouch for normal
// speed and slower, Rubber Band above it (TempoStretcher picks). Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

class StretchEngine {
  public:
    virtual ~StretchEngine() = default;

    // Source frames consumed per frame handed out.
    virtual void setSpeed(double speed) = 0;
    // A setting the tempo stream was given (sequence and seek-window lengths, ...). False if the
    // id is unknown. An engine that tunes itself takes the known ones and ignores them.
    virtual bool setOption(int id, int value) = 0;
    virtual void put(const float* in, std::size_t frames) = 0;
    // Up to `frames` frames of what is ready; the frames written.
    virtual std::size_t receive(float* out, std::size_t frames) = 0;
    // Output frames ready to be received.
    virtual std::size_t readyFrames() const = 0;
    // Drops everything held; the next put starts a new stream.
    virtual void clear() = 0;
    // How far, in source frames, the audio leaving runs ahead of the frames its output count
    // stands for, on average once it is under way (negative: behind).
    virtual double sourceLeadFrames(double speed, std::uint32_t rate) const = 0;
};

}  // namespace tarvel::audio
