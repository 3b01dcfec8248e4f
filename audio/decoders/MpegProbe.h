// Strict recognition of MPEG audio before libmpg123 sees a file: libmpg123 resyncs through
// anything and would "decode" random bytes, so we insist on a chain of consistent frame headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarvel::audio {

struct MpegFrameHeader {
    int version = 0;  // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;    // 1..3
    std::uint32_t sampleRate = 0;
    std::uint32_t frameBytes = 0;  // whole frame including the 4 header bytes; 0 if free format
    bool freeFormat = false;       // bitrate index 0: the frame size is the stream's own
    bool padded = false;
};

// Parses the 4 bytes at `p`; empty for anything that is not a usable frame header (reserved
// fields, and the free-format bitrate unless `allowFreeFormat`).
std::optional<MpegFrameHeader> ParseMpegFrameHeader(const std::uint8_t* p,
                                                    bool allowFreeFormat = false);

// Length of an ID3v2 tag at `p` (header, body and footer), 0 if there is none.
std::size_t Id3v2Size(const std::uint8_t* p, std::size_t size);

// Frames in a row, all of one version, layer and rate, needed to believe a stream is MPEG audio.
inline constexpr int kMpegProbeChainFrames = 4;
// How far past the tags the first frame may start (encoders and taggers leave padding).
inline constexpr std::size_t kMpegProbeSearchBytes = std::size_t{64} * 1024;

// The largest free-format frame libmpg123 decodes.
inline constexpr std::size_t kMpegMaxFreeFormatFrameBytes = 3456;

// Offset of the first frame of a chain of kMpegProbeChainFrames consistent headers in
// `data` (the start of a file, `fileSize` bytes in all), searched from after an ID3v2 tag.
// A shorter chain is accepted when it ends exactly at the end of the file. Free-format
// streams (no bitrate in the header) chain at the distance between their first two headers.
// Empty if none.
std::optional<std::size_t> FindMpegStream(const std::uint8_t* data, std::size_t size,
                                          std::uint64_t fileSize);

}  // namespace tarvel::audio
