// A line on standard error whenever the output falls short, for whoever looks into a break in
// the sound: the device found a ring short (the render thread did not keep up), the device's
// thread was called back late (the system held it off), or one render pass took long (a read or
// a lock held it up). Asked for with TARVEL_OUTPUT_LOG=1; silent otherwise.
//
// Threads: the render thread only. It reads the callback's figures, which are atomics.
#pragma once

#include <cstdint>

#include "audio/CallbackStats.h"

namespace tarvel::audio {

class OutputLog {
  public:
    // A render pass this long is worth a line, and so is a gap between two device calls of
    // more than half a device period beyond the period itself.
    static constexpr std::uint64_t kLongPassNs = 50'000'000;

    // `periodNs`: the device buffer's length. Reads TARVEL_OUTPUT_LOG.
    explicit OutputLog(std::uint64_t periodNs);
    OutputLog(bool enabled, std::uint64_t periodNs)
        : enabled_(enabled), lateNs_(periodNs + periodNs / 2) {}

    bool enabled() const { return enabled_; }
    // After each render pass that took `passNs`.
    void check(CallbackStats& stats, std::uint64_t passNs);

  private:
    bool enabled_ = false;
    std::uint64_t lateNs_ = 0;
    std::uint64_t underruns_ = 0;
};

}  // namespace tarvel::audio
