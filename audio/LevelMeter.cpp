#include "audio/LevelMeter.h"

#include <array>

namespace tarvel::audio {

namespace {

// Interleaved stereo in blocks of whole frames, keeping each lane's highest and lowest sample
// (plain signed 16-bit max and min, which every x86-64 vector unit has), so the compiler can keep
// the block in vector registers: the scan reads every sample of a file through here. Even lanes
// are left, odd lanes right; a side's peak is the larger of its highest and minus its lowest.
StereoPeak MeasureStereo(const std::int16_t* samples, std::size_t frames) {
    constexpr std::size_t kLanes = 32;
    std::array<std::int16_t, kLanes> high{};
    std::array<std::int16_t, kLanes> low{};
    const std::size_t count = frames * 2;
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            const std::int16_t v = samples[i + j];
            high[j] = v > high[j] ? v : high[j];
            low[j] = v < low[j] ? v : low[j];
        }
    }
    StereoPeak peak;
    for (std::size_t j = 0; j < kLanes; j += 2) {
        peak.add(high[j], high[j + 1]);
        peak.add(low[j], low[j + 1]);
    }
    for (; i < count; i += 2) {
        peak.add(samples[i], samples[i + 1]);
    }
    return peak;
}

}  // namespace

StereoPeak MeasurePeaks(const std::int16_t* samples, std::size_t frames, std::uint32_t channels) {
    StereoPeak peak;
    if (channels == 1) {
        for (std::size_t f = 0; f < frames; ++f) {
            peak.add(samples[f], samples[f]);
        }
        return peak;
    }
    if (channels == 2) {
        return MeasureStereo(samples, frames);
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
