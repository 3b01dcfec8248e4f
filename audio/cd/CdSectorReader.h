// Reads the sectors of one audio track, through cd-paranoia's error correction when the drive
// supports it and straight from libcdio otherwise. Blocking; used by CdReadAhead's thread only.
#pragma once

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/cd/CdDevice.h"
#include "audio/cd/CdSectorSource.h"

namespace tarvel::audio {

class CdSectorReader final : public CdSectorSource {
    struct Key {};  // construction goes through Open

  public:
    // null if the disc has no audio track `track`.
    static std::unique_ptr<CdSectorReader> Open(CdIoPtr cdio, int track);
    CdSectorReader(Key, CdIoPtr cdio, lsn_t first, std::uint32_t sectors);
    ~CdSectorReader() override;
    CdSectorReader(const CdSectorReader&) = delete;
    CdSectorReader& operator=(const CdSectorReader&) = delete;

    std::uint32_t sectors() const override { return sectors_; }
    bool read(std::uint32_t index, std::uint8_t* out) override;

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
