// Seeking with the fallback every caller uses: a position the engine refuses becomes position 0.
#pragma once

#include "audio/bass.h"

namespace tarvel {

// Sets `channel` to `position`; if the engine refuses, to 0. Safe on a 0 or stale handle.
void SeekOrZero(DWORD channel, QWORD position);

// The channel's length in bytes, or 0 when the length cannot be read (no channel).
QWORD LengthOrZero(DWORD channel);

}  // namespace tarvel
