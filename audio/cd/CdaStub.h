// The 44-byte ".cda" file a CD file system shows for each audio track: a RIFF "CDDA" chunk
// naming the track and where it lies on the disc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarvel::audio {

inline constexpr std::size_t kCdaStubBytes = 44;

struct CdaStub {
    std::uint16_t version = 0;
    std::uint16_t track = 0;  // 1..99
    std::uint32_t volumeSerial = 0;
    std::uint32_t firstSector = 0;  // logical sector address (track 1 usually at 0)
    std::uint32_t sectors = 0;
    std::uint32_t firstMsf = 0;  // frame, second, minute from the low byte up
    std::uint32_t lengthMsf = 0;
};

// Strict: exactly kCdaStubBytes with the fixed tags and sizes, a track number of 1..99.
std::optional<CdaStub> ParseCdaStub(const std::uint8_t* data, std::size_t size);

}  // namespace tarvel::audio
