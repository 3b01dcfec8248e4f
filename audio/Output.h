// Where the mixer's output goes: the sound device, or a capture buffer for tests and tools.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/Mixer.h"

namespace tarvel::audio {

class Output {
  public:
    explicit Output(std::shared_ptr<Mixer> mixer) : mixer_(std::move(mixer)) {}
    virtual ~Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Mixer& mixer() const { return *mixer_; }
    // The device frame being heard now (mixed frames minus what still waits in the device).
    virtual std::uint64_t heardFrame() const = 0;
    // Rendering on demand (capture) rather than by a device thread.
    virtual bool isCapture() const { return false; }

  private:
    std::shared_ptr<Mixer> mixer_;
};

}  // namespace tarvel::audio
