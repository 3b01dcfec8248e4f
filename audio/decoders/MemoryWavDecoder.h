// Decoder for a WAV image held in memory, read in place (the block must outlive the decoder).
#pragma once

#include <cstddef>
#include <memory>

#include "audio/Decoder.h"

namespace tarvel::audio {

// nullptr if the block is not a WAV image with a sample format this decoder knows.
std::unique_ptr<Decoder> OpenMemoryWav(const void* data, std::size_t size);

}  // namespace tarvel::audio
