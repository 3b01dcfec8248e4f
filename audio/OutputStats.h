// Figures of the open output for benchmarks and tests: how long the device callback runs, how
// often a ring ran short, and whether the device is running now. Any thread.
#pragma once

#include "audio/CallbackStats.h"

namespace tarvel::audio {

// All zero when no output is open.
CallbackFigures OutputCallbackFigures();
void ResetOutputCallbackFigures();
// The device is open and called back (false while suspended for want of sound, and always for
// the capture output, which has no device).
bool OutputDeviceRunning();

}  // namespace tarvel::audio
