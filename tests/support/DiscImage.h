// An audio-CD image for tests: a BIN file of raw 16-bit stereo 44.1 kHz sectors, the CUE sheet
// describing its tracks, and the 44-byte ".cda" stub for each track.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/support/TestAudio.h"

namespace tarvel::test {

inline constexpr std::size_t kCdSectorBytes = 2352;
inline constexpr std::size_t kCdSectorFrames = 588;
inline constexpr std::uint32_t kCdPregapSectors = 150;  // MSF addresses start at 00:02:00

struct DiscTrack {
    int number = 0;
    std::uint32_t firstSector = 0;  // logical sector, track 1 at 0
    std::uint32_t sectors = 0;
    std::vector<std::uint8_t> bytes;  // the track's exact bytes on the disc (whole sectors)
};

struct DiscImage {
    std::filesystem::path cue;
    std::filesystem::path bin;
    std::vector<DiscTrack> tracks;
};

// Writes "<name>.bin" and "<name>.cue" into `dir`; each track is 44.1 kHz stereo PCM, padded with
// silence to whole sectors.
DiscImage WriteDiscImage(const std::filesystem::path& dir, const std::vector<Pcm>& tracks,
                         const std::string& name = "disc");

// The ".cda" stub: RIFF size 36, "CDDA", "fmt " of 24 bytes holding version 1, the track number,
// a volume serial, first sector, length in sectors and both again as MSF.
std::vector<std::uint8_t> EncodeCdaStub(int track, std::uint32_t firstSector, std::uint32_t sectors,
                                        std::uint32_t serial = 0x1234ABCD);
void WriteCdaStub(const std::filesystem::path& path, const DiscTrack& track);

}  // namespace tarvel::test
