#include "audio/LevelMeter.h"

namespace tarvel::audio {

StereoPeak MeasurePeaks(const std::int16_t* samples, std::size_t frames, std::uint32_t channels) {
    StereoPeak peak;
    if (channels == 1) {
        for (std::size_t f = 0; f < frames; ++f) {
            peak.add(samples[f], samples[f]);
        }
        return peak;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t* frame = samples + f * channels;
        for (std::uint32_t c = 0; c + 1 < channels; c += 2) {
            peak.add(frame[c], frame[c + 1]);
        }
        if (channels % 2 == 1) {
            peak.add(frame[channels - 1], 0);
        }
    }
    return peak;
}

}  // namespace tarvel::audio
