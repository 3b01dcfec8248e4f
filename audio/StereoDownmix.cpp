#include "audio/StereoDownmix.h"

#include <cstring>

namespace tarvel::audio {

void ToStereo(const std::int16_t* in, std::uint32_t channels, std::int16_t* out,
              std::size_t frames) {
    if (channels == 2) {
        if (in != out) {
            std::memmove(out, in, frames * 2 * sizeof(std::int16_t));
        }
        return;
    }
    if (channels == 1) {
        // Backwards, so that the conversion may run in place.
        for (std::size_t f = frames; f-- > 0;) {
            out[f * 2] = in[f];
            out[f * 2 + 1] = in[f];
        }
        return;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t* frame = in + f * channels;
        std::int32_t left = 0;
        std::int32_t right = 0;
        std::uint32_t nLeft = 0;
        std::uint32_t nRight = 0;
        for (std::uint32_t c = 0; c < channels; ++c) {
            if (c % 2 == 0) {
                left += frame[c];
                ++nLeft;
            } else {
                right += frame[c];
                ++nRight;
            }
        }
        out[f * 2] = static_cast<std::int16_t>(left / static_cast<std::int32_t>(nLeft));
        out[f * 2 + 1] =
            static_cast<std::int16_t>(nRight ? right / static_cast<std::int32_t>(nRight) : 0);
    }
}

}  // namespace tarvel::audio
