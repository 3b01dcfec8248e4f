// Reading helpers shared by the decoder tests.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/Decoder.h"

namespace tarvel::decoder_test {

// Everything the decoder yields until read returns 0, read in chunks of `chunkFrames`.
std::vector<std::int16_t> ReadAll(audio::Decoder& d, std::size_t chunkFrames = 1000);
// Up to `frames` frames from the current position.
std::vector<std::int16_t> ReadFrames(audio::Decoder& d, std::size_t frames);

}  // namespace tarvel::decoder_test
