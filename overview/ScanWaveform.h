// The scan itself: reads a decode-only channel once from start to end and leaves one loudness
// value per overview pixel column for each side. For a CD track it first copies the track into
// an in-memory WAV image and takes the values from the image. Runs on the scan thread; no Qt.
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

#include "audio/bass.h"
#include "player/AudioPort.h"
#include "player/PlayerSession.h"

namespace tarvel::overview {

// The loudest envelope value: 0.93 of full scale.
inline constexpr long double kEnvelopeScale = 30474.24L;
inline constexpr std::uint32_t kFullScaleLevel = 32768;

struct ScanSettings {
    bool isCdTrack = false;
    QWORD bytesPerPixel = 0;
};

struct ScanOutput {
    std::vector<std::uint16_t> left;
    std::vector<std::uint16_t> right;
    // CD track: the image the envelope was taken from, and the decode-only memory stream opened
    // on it (the caller releases the stream). Null / 0 otherwise.
    std::shared_ptr<std::vector<std::uint8_t>> cdImage;
    HSTREAM imageStream = 0;
    // False when the scan was stopped by `stop` before its end: the arrays are incomplete.
    bool finished = false;
};

// Scans channel `c` into `width` columns. Writes ScanTotal and ScanDone as it goes; reads
// PlayChannel (CD header) and Closing. Ends normally for a zero peak (all values 0) and for a
// BytesPerPixel of 0 (nothing measured, all values 0).
ScanOutput ScanWaveform(AudioPort& audio, PlayerSession& session, const ScanSettings& settings,
                        DWORD c, int width, const std::stop_token& stop);

// Phase C alone: the envelope of `c`, before and after the normalisation.
ScanOutput ScanEnvelope(AudioPort& audio, PlayerSession& session, QWORD bytesPerPixel, DWORD c,
                        int width, const std::stop_token& stop);

}  // namespace tarvel::overview
