// The in-memory WAV image of an audio-CD track: a 44-byte header followed by the track's
// decoded PCM, so that the track can be played from memory once it has been read. The two size
// fields are left 0; the engine takes the data chunk to run to the end of the block.
// Built on the scan thread; the session keeps the image a channel plays from (CdWaveImage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

#include "audio/bass.h"
#include "player/AudioPort.h"
#include "player/PlayerSession.h"

namespace tarvel::overview {

inline constexpr std::size_t kWaveHeaderSize = 44;
// The copy reads the track in blocks of this size into one fixed buffer.
inline constexpr DWORD kCdCopyBlock = 10240;

struct WaveFormat {
    std::uint16_t channels = 2;        // as written at offset 22
    std::uint32_t sampleRate = 44100;  // low 16 bits go to offset 24, the full rate to 28
    std::uint16_t blockAlign = 4;      // offset 32
    std::uint16_t bitsPerSample = 16;  // offset 34
};

// The header fields from the playing channel's information (channel count and flags) and the
// CD decode channel's rate: 1 channel stays 1, anything else is written as 2; the block
// alignment uses the real channel count.
WaveFormat CdWaveFormat(const BASS_CHANNELINFO& playInfo, DWORD rate);

// Writes the 44 header bytes at `dst`.
void WriteWaveHeader(std::uint8_t* dst, const WaveFormat& format);

// Copies the whole CD decode channel `cd` into a new zero-filled image of its length + 44 bytes,
// updating ScanTotal and ScanDone. Never writes past the image, whatever the channel delivers.
// Returns null when the channel has no usable length (not open, or 4 GiB and more) or the image
// cannot be allocated. The copy stops early (the rest stays silence) when the channel ends, a
// read fails or delivers nothing, the window closes or `stop` is requested.
std::shared_ptr<std::vector<std::uint8_t>> BuildCdWaveImage(AudioPort& audio,
                                                            PlayerSession& session, DWORD cd,
                                                            const std::stop_token& stop);

}  // namespace tarvel::overview
