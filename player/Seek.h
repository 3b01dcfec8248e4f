// Seeking with the fallback every caller uses: a position the engine refuses becomes position 0.
#pragma once

#include "audio/bass.h"

namespace tarvel {

// Sets `channel` to `position`; if the engine refuses, to 0. Safe on a 0 or stale handle.
void SeekOrZero(DWORD channel, QWORD position);

// The low 32 bits of the channel's length, or 0 when the length cannot be read (no channel).
std::uint32_t LengthLow32(DWORD channel);

}  // namespace tarvel
