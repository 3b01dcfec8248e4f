// Decoder over libsndfile: WAV (any PCM width, float, extensible), AIFF/AIFC, FLAC, Ogg and the
// other containers libsndfile reads.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace tarvel::audio {

// nullptr if libsndfile cannot read the file or its length is unknown.
std::unique_ptr<Decoder> OpenSndfileFile(const std::string& path);
// Same for a block in memory, read in place (the block must outlive the decoder).
std::unique_ptr<Decoder> OpenSndfileMemory(const void* data, std::size_t size);

}  // namespace tarvel::audio
