// Reads the sectors of one audio track, through cd-paranoia's error correction when the drive
// supports it and straight from libcdio otherwise. Blocking; used by CdReadAhead's thread only.
#pragma once

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/cd/CdDevice.h"

namespace tarvel::audio {

inline constexpr std::size_t kCdSectorBytes = 2352;
inline constexpr std::size_t kCdFramesPerSector = 588;  // 16-bit stereo frames
inline constexpr std::uint32_t kCdRate = 44100;
inline constexpr std::uint32_t kCdChannels = 2;

class CdSectorReader {
    struct Key {};  // construction goes through Open

  public:
    // null if the disc has no audio track `track`.
    static std::unique_ptr<CdSectorReader> Open(CdIoPtr cdio, int track);
    CdSectorReader(Key, CdIoPtr cdio, lsn_t first, std::uint32_t sectors);
    ~CdSectorReader();
    CdSectorReader(const CdSectorReader&) = delete;
    CdSectorReader& operator=(const CdSectorReader&) = delete;

    std::uint32_t sectors() const { return sectors_; }
    // Sector `index` of the track (0-based) into `out` (kCdSectorBytes, little-endian samples).
    // False if the sector cannot be read.
    bool read(std::uint32_t index, std::uint8_t* out);

  private:
    void StartParanoia();

    CdIoPtr cdio_;
    cdrom_drive_t* drive_ = nullptr;        // owned; closed before cdio_ is destroyed
    cdrom_paranoia_t* paranoia_ = nullptr;  // owned; freed before drive_
    lsn_t first_;
    std::uint32_t sectors_;
    std::uint32_t next_ = 0;  // sector paranoia will deliver next
    bool positioned_ = false;
};

}  // namespace tarvel::audio
