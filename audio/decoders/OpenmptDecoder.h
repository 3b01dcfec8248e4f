// Decoder over libopenmpt for tracker modules, rendered as 16-bit stereo at a chosen rate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace tarvel::audio {

// rate 0 means the engine's rate, 44100. `ramp` enables volume ramping against clicks.
std::unique_ptr<Decoder> OpenModuleFile(const std::string& path, std::uint32_t rate, bool ramp);

}  // namespace tarvel::audio
