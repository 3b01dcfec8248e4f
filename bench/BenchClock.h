// Clocks for the measurements: wall time, and the CPU time of the calling thread.
#pragma once

#include <time.h>

#include <chrono>

namespace tarvel::bench {

class WallTimer {
  public:
    WallTimer() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

// CPU seconds the calling thread has used so far.
inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace tarvel::bench
