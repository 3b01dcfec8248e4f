// How long the scan waits after a load or the last resize before it starts (Timer2), so that a
// window dragged wider scans once, at its final width.
#pragma once

namespace tarvel {

inline constexpr int kScanDebounceMs = 100;

}  // namespace tarvel
