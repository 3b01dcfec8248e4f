#include "audio/cd/CdSectorReader.h"

#include <cstring>

namespace tarvel::audio {
namespace {

// Full checking, but give up on a hopeless sector instead of retrying forever: a scratched disc
// then plays with a glitch rather than hanging the reader.
constexpr int kParanoiaMode = PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
constexpr int kMaxRetries = 20;

// Disc images hold exact sectors; paranoia's overlap matching only adds risk there, since it can
// lock onto the wrong period of a steady tone and shift the audio by whole sectors.
bool IsImage(CdIo_t* cdio) {
    switch (cdio_get_driver_id(cdio)) {
        case DRIVER_BINCUE:
        case DRIVER_NRG:
        case DRIVER_CDRDAO:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::unique_ptr<CdSectorReader> CdSectorReader::Open(CdIoPtr cdio, int track) {
    if (!cdio) {
        return nullptr;
    }
    const track_t firstTrack = cdio_get_first_track_num(cdio.get());
    const track_t count = cdio_get_num_tracks(cdio.get());
    if (firstTrack == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || track < firstTrack ||
        track >= firstTrack + count) {
        return nullptr;
    }
    const auto t = static_cast<track_t>(track);
    if (cdio_get_track_format(cdio.get(), t) != TRACK_FORMAT_AUDIO) {
        return nullptr;
    }
    const lsn_t first = cdio_get_track_lsn(cdio.get(), t);
    const lsn_t last = cdio_get_track_last_lsn(cdio.get(), t);
    if (first == CDIO_INVALID_LSN || last == CDIO_INVALID_LSN || last < first) {
        return nullptr;
    }
    auto r = std::make_unique<CdSectorReader>(Key{}, std::move(cdio), first,
                                              static_cast<std::uint32_t>(last - first + 1));
    r->StartParanoia();
    return r;
}

CdSectorReader::CdSectorReader(Key, CdIoPtr cdio, lsn_t first, std::uint32_t sectors)
    : cdio_(std::move(cdio)), first_(first), sectors_(sectors) {}

void CdSectorReader::StartParanoia() {
    if (IsImage(cdio_.get())) {
        return;
    }
    char* messages = nullptr;
    drive_ = cdio_cddap_identify_cdio(cdio_.get(), CDDA_MESSAGE_FORGETIT, &messages);
    cdio_cddap_free_messages(messages);
    if (drive_ == nullptr) {
        return;
    }
    if (cdio_cddap_open(drive_) != 0) {
        cdio_cddap_close_no_free_cdio(drive_);
        drive_ = nullptr;
        return;
    }
    paranoia_ = cdio_paranoia_init(drive_);
    if (paranoia_ != nullptr) {
        cdio_paranoia_modeset(paranoia_, kParanoiaMode);
    }
}

CdSectorReader::~CdSectorReader() {
    if (paranoia_ != nullptr) {
        cdio_paranoia_free(paranoia_);
    }
    if (drive_ != nullptr) {
        cdio_cddap_close_no_free_cdio(drive_);
    }
}

bool CdSectorReader::read(std::uint32_t index, std::uint8_t* out) {
    if (index >= sectors_) {
        return false;
    }
    const lsn_t lsn = first_ + static_cast<lsn_t>(index);
    if (paranoia_ == nullptr) {
        return cdio_read_audio_sectors(cdio_.get(), out, lsn, 1) == DRIVER_OP_SUCCESS;
    }
    if (!positioned_ || index != next_) {
        cdio_paranoia_seek(paranoia_, lsn, SEEK_SET);
        positioned_ = true;
    }
    const std::int16_t* data = cdio_paranoia_read_limited(paranoia_, nullptr, kMaxRetries);
    if (data == nullptr) {
        positioned_ = false;
        return false;
    }
    std::memcpy(out, data, kCdSectorBytes);
    next_ = index + 1;
    return true;
}

}  // namespace tarvel::audio
