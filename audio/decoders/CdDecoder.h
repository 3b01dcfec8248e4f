// Decoder for an audio-CD track named by a ".cda" stub; sectors are read ahead on a thread of
// its own so that a slow drive never holds up the reader for long.
#pragma once

#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace tarvel::audio {

// nullptr if the stub is malformed or the disc in the drive lacks the track.
std::unique_ptr<Decoder> OpenCdStub(const std::string& cdaPath);

}  // namespace tarvel::audio
