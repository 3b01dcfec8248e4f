// The sound device through SDL2's audio subsystem: 16-bit stereo at the engine's rate. SDL's
// callback thread only copies what the render thread (audio/RenderThread.h) prepared.
//
// The device is closed while nothing plays (SDL's pause would keep its thread and the sound
// server's stream running) and opened again when a channel starts. The "disk" driver, which
// writes what it plays to a file and would start that file afresh at every opening, is paused
// instead.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "audio/Output.h"
#include "audio/RenderThread.h"

namespace tarvel::audio {

class SdlOutput final : public Output, public Device {
  public:
    // How far the render thread keeps each playing channel ahead of the device: a read stall of
    // a quarter of a second (a busy disk, a USB drive, a network share) is ridden out with as
    // much again to spare.
    static constexpr double kAheadSeconds = 0.5;

    // Null if no device opens.
    static std::unique_ptr<SdlOutput> Open(std::uint32_t rate);
    ~SdlOutput() override;

    std::uint64_t heardFrame() const override;
    std::uint32_t bufferFrames() const { return bufferFrames_.load(); }

    // Device: called by the render thread only (and once by Open before it starts).
    bool running() const override { return running_.load(); }
    bool resume() override;
    void suspend() override;
    void raiseRenderPriority() override;

    // Use Open().
    SdlOutput(std::shared_ptr<Mixer> mixer, std::uint32_t rate, std::uint32_t bufferFrames,
              std::uint32_t device, std::string driver);

  private:
    static void Callback(void* self, std::uint8_t* stream, int bytes);
    static std::uint32_t OpenDevice(std::uint32_t rate, std::uint32_t frames, void* self,
                                    std::uint32_t* gotFrames);

    const std::uint32_t rate_;
    const std::string driver_;
    std::uint32_t device_ = 0;  // render thread (and the destructor once it has ended)
    std::atomic<std::uint32_t> bufferFrames_;
    std::atomic<bool> running_{false};
    // Written by the callback, read by position queries.
    std::atomic<std::uint64_t> callbackFrame_{0};
    std::atomic<std::int64_t> callbackTimeNs_{0};
    std::atomic<bool> called_{false};
    std::unique_ptr<RenderThread> render_;  // last: stopped before the device closes
};

}  // namespace tarvel::audio
