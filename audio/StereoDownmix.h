// Interleaved frames of any channel count to stereo: mono goes to both sides; with more than two
// channels the even-numbered ones are averaged into the left side and the odd-numbered ones into
// the right.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

void ToStereo(const std::int16_t* in, std::uint32_t channels, std::int16_t* out,
              std::size_t frames);

}  // namespace tarvel::audio
