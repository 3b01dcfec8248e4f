// The engine's render thread for a device output: keeps every playing voice rendered ahead of the
// device (decoding, tempo, rate conversion and the mix-time syncs all run here), and runs the
// device only while something plays, so that an idle player causes no wake-ups and the sound
// server may suspend its sink.
//
// Threads: constructed and destroyed on the thread that owns the output; run() is the thread.
#pragma once

#include <chrono>
#include <thread>

#include "audio/Mixer.h"
#include "audio/OutputLog.h"

namespace tarvel::audio {

// What the render thread starts and stops.
class Device {
  public:
    virtual ~Device() = default;
    virtual bool running() const = 0;
    // False if the device cannot be started now (tried again later).
    virtual bool resume() = 0;
    virtual void suspend() = 0;
    // Called once on the render thread as it starts: raise its scheduling priority where the
    // system allows. A machine whose cores are all busy must not starve the thread that keeps
    // the device fed; it sleeps most of the time, so it takes little from the others.
    virtual void raiseRenderPriority() {}
};

class RenderThread {
  public:
    // How often the thread tops the rings up while something plays.
    static constexpr std::chrono::milliseconds kTopUpInterval{10};
    // How long the device keeps running after the last sound: a pause and a resume in quick
    // succession do not restart it.
    static constexpr std::chrono::milliseconds kSuspendAfter{1000};

    RenderThread(Mixer& mixer, Device& device);
    ~RenderThread();  // stops and joins the thread
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

  private:
    void run(const std::stop_token& stop);

    Mixer& mixer_;
    Device& device_;
    OutputLog log_;
    std::jthread thread_;  // last: started once the members above are ready
};

}  // namespace tarvel::audio
