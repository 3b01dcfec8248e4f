// Helpers shared by the scan tests.
#pragma once

#include <chrono>
#include <thread>

#include "player/PlayerSession.h"

namespace tarvel::overview::testing {

// Waits (bounded) until the running scan has cleared Scanning. True if it did.
inline bool WaitForScanEnd(const PlayerSession& session,
                           std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (session.Scanning.load()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Waits (bounded) until `done()` holds.
template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tarvel::overview::testing
