#include "audio/RenderThread.h"

#include <algorithm>
#include <optional>

namespace tarvel::audio {

RenderThread::RenderThread(Mixer& mixer, Device& device)
    : mixer_(mixer),
      device_(device),
      log_(mixer.deviceFrames() * 1'000'000'000ULL / std::max<std::uint32_t>(mixer.rate(), 1)),
      thread_([this](const std::stop_token& stop) { run(stop); }) {}

RenderThread::~RenderThread() {
    thread_.request_stop();
    mixer_.wake();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void RenderThread::run(const std::stop_token& stop) {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> quietSince;
    device_.raiseRenderPriority();
    while (!stop.stop_requested()) {
        const Clock::time_point passStart = Clock::now();
        const bool active = mixer_.renderAhead();
        if (log_.enabled()) {
            log_.check(
                mixer_.stats(),
                static_cast<std::uint64_t>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - passStart)
                        .count()));
        }
        if (active) {
            quietSince.reset();
            if (!device_.running()) {
                // The rings already hold the first frames, so nothing is lost while it starts.
                device_.resume();
            }
            mixer_.waitForWork(stop, kTopUpInterval);
            continue;
        }
        if (!device_.running()) {
            mixer_.waitForWork(stop, std::nullopt);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (!quietSince) {
            quietSince = now;
        }
        const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - *quietSince);
        if (quiet >= kSuspendAfter) {
            device_.suspend();
            quietSince.reset();
            continue;
        }
        mixer_.waitForWork(stop, kSuspendAfter - quiet);
    }
}

}  // namespace tarvel::audio
