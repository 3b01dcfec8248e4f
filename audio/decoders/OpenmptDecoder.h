// Decoder over libopenmpt for tracker modules, rendered as 16-bit stereo at a chosen rate.
#pragma once

#include <cstdint>

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

// rate 0 means the engine's rate, 44100. `ramp` enables volume ramping against clicks.
// Not mine if libopenmpt does not take the bytes for a module; damaged if it does but the
// module has no playing time.
OpenResult OpenModule(ByteSource src, std::uint32_t rate, bool ramp);

}  // namespace tarvel::audio
