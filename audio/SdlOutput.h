// The sound device through SDL2's audio subsystem: 16-bit stereo at the engine's rate; SDL's
// callback thread is the mixing thread.
#pragma once

#include <atomic>
#include <memory>

#include "audio/Output.h"

namespace tarvel::audio {

class SdlOutput final : public Output {
  public:
    // Null if no device opens.
    static std::unique_ptr<SdlOutput> Open(std::uint32_t rate);
    ~SdlOutput() override;

    // Use Open(); the device is attached by it.
    SdlOutput(std::shared_ptr<Mixer> mixer, std::uint32_t bufferFrames);

    std::uint64_t heardFrame() const override;
    std::uint32_t bufferFrames() const { return bufferFrames_; }

  private:
    static void Callback(void* self, std::uint8_t* stream, int bytes);

    std::uint32_t device_ = 0;
    const std::uint32_t bufferFrames_;
    // Written by the callback, read by position queries.
    std::atomic<std::uint64_t> callbackFrame_{0};
    std::atomic<std::int64_t> callbackTimeNs_{0};
    std::atomic<bool> called_{false};
};

}  // namespace tarvel::audio
