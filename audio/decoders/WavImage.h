// Layout of a RIFF/WAVE image in memory: where the samples are and how they are stored.
// Built for WAV images whose size fields may be 0 (still being written, or never filled in):
// a RIFF or data size of 0, or one that runs past the block, means "to the end of the block".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarvel::audio {

enum class WavSampleType { kUnsigned8, kSigned16, kSigned24, kSigned32, kFloat32, kFloat64 };

struct WavImageLayout {
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    WavSampleType type = WavSampleType::kSigned16;
    std::uint32_t bytesPerFrame = 0;
    std::size_t dataOffset = 0;
    std::uint64_t frames = 0;  // whole frames only; trailing odd bytes are ignored
};

// Never reads outside [data, data + size). Empty if the block is not a WAV image this
// program can decode (only PCM and IEEE float, plain or extensible).
std::optional<WavImageLayout> ParseWavImage(const std::uint8_t* data, std::size_t size);

// The same for a WAV file of `totalBytes` of which `head` holds the first `headBytes`: chunk
// headers and the format chunk must lie in `head`, sizes are judged against `totalBytes`.
std::optional<WavImageLayout> ParseWavHeader(const std::uint8_t* head, std::size_t headBytes,
                                             std::uint64_t totalBytes);

// One sample at `p`, stored as `type`, in 16 bits (rounded and clipped like every decoder).
std::int16_t ConvertWavSample(WavSampleType type, const std::uint8_t* p);

}  // namespace tarvel::audio
