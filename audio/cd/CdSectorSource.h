// Where the sectors of one audio-CD track come from: the drive (CdSectorReader) or, in tests, a
// scripted source that can be as slow as a drive spinning up. Blocking; called by the read-ahead
// thread of CdReadAhead only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

inline constexpr std::size_t kCdSectorBytes = 2352;
inline constexpr std::size_t kCdFramesPerSector = 588;  // 16-bit stereo frames
inline constexpr std::uint32_t kCdRate = 44100;
inline constexpr std::uint32_t kCdChannels = 2;

class CdSectorSource {
  public:
    virtual ~CdSectorSource() = default;
    virtual std::uint32_t sectors() const = 0;
    // Sector `index` of the track (0-based) into `out` (kCdSectorBytes, little-endian samples).
    // False if the sector cannot be read.
    virtual bool read(std::uint32_t index, std::uint8_t* out) = 0;
};

}  // namespace tarvel::audio
