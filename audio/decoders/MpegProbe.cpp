#include "audio/decoders/MpegProbe.h"

#include <algorithm>

namespace tarvel::audio {
namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kId3HeaderBytes = 10;
constexpr std::size_t kId3FooterBytes = 10;
constexpr std::uint8_t kId3FooterFlag = 0x10;
constexpr int kMinChainAtEof = 2;

// kbit/s by [MPEG-1?][layer-1][index]; index 0 (free format) and 15 are refused.
constexpr std::uint16_t kBitrates[2][3][15] = {
    {// MPEG-2 and 2.5
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {// MPEG-1
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};

constexpr std::uint32_t kRates[3] = {44100, 48000, 32000};

bool SameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate &&
           a.freeFormat == b.freeFormat;
}

// The unpadded size of the free-format frames starting at `first`: the distance to the next
// header of the same stream, less the first frame's padding byte. 0 if there is none in reach.
std::size_t FreeFormatFrameBytes(const std::uint8_t* data, std::size_t size, std::size_t first,
                                 const MpegFrameHeader& head) {
    const std::size_t lastStart = std::min(size, first + kMpegMaxFreeFormatFrameBytes + 1);
    for (std::size_t next = first + kHeaderBytes + 1; next + kHeaderBytes <= lastStart; ++next) {
        const auto h = ParseMpegFrameHeader(data + next, true);
        if (h && SameStream(*h, head)) {
            return next - first - (head.padded ? 1 : 0);
        }
    }
    return 0;
}

// Size of the frame whose header is `h`, in a free-format stream of `freeBytes` frames.
std::uint64_t FrameBytes(const MpegFrameHeader& h, std::size_t freeBytes) {
    return h.freeFormat ? freeBytes + (h.padded ? 1 : 0) : h.frameBytes;
}

}  // namespace

std::optional<MpegFrameHeader> ParseMpegFrameHeader(const std::uint8_t* p, bool allowFreeFormat) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = (p[2] >> 4) & 15;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int emphasis = p[3] & 3;
    constexpr int kReservedVersion = 1;
    constexpr int kReservedEmphasis = 2;
    if (versionBits == kReservedVersion || layerBits == 0 ||
        (bitrateIndex == 0 && !allowFreeFormat) || bitrateIndex == 15 || rateIndex == 3 ||
        emphasis == kReservedEmphasis) {
        return std::nullopt;
    }
    MpegFrameHeader h;
    h.version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    h.layer = 4 - layerBits;
    h.padded = padding != 0;
    const bool mpeg1 = h.version == 10;
    h.sampleRate = kRates[rateIndex] / (mpeg1 ? 1u : h.version == 20 ? 2u : 4u);
    if (bitrateIndex == 0) {
        h.freeFormat = true;
        return h;
    }
    const std::uint32_t bitrate = kBitrates[mpeg1 ? 1 : 0][h.layer - 1][bitrateIndex] * 1000u;
    if (h.layer == 1) {
        constexpr std::uint32_t kLayer1Slot = 4;
        h.frameBytes =
            (12u * bitrate / h.sampleRate + static_cast<std::uint32_t>(padding)) * kLayer1Slot;
    } else {
        // Layer 3 of MPEG-2/2.5 carries half the samples per frame.
        const std::uint32_t factor = (h.layer == 3 && !mpeg1) ? 72u : 144u;
        h.frameBytes = factor * bitrate / h.sampleRate + static_cast<std::uint32_t>(padding);
    }
    if (h.frameBytes <= kHeaderBytes) {
        return std::nullopt;
    }
    return h;
}

std::size_t Id3v2Size(const std::uint8_t* p, std::size_t size) {
    if (size < kId3HeaderBytes || p[0] != 'I' || p[1] != 'D' || p[2] != '3' || p[3] == 0xFF ||
        p[4] == 0xFF || ((p[6] | p[7] | p[8] | p[9]) & 0x80) != 0) {
        return 0;
    }
    const std::size_t body = (static_cast<std::size_t>(p[6]) << 21) |
                             (static_cast<std::size_t>(p[7]) << 14) |
                             (static_cast<std::size_t>(p[8]) << 7) | p[9];
    return kId3HeaderBytes + body + ((p[5] & kId3FooterFlag) != 0 ? kId3FooterBytes : 0);
}

std::optional<std::size_t> FindMpegStream(const std::uint8_t* data, std::size_t size,
                                          std::uint64_t fileSize) {
    std::size_t start = 0;
    // Several ID3v2 tags in a row happen with careless taggers.
    while (start < size) {
        const std::size_t tag = Id3v2Size(data + start, size - start);
        if (tag == 0) {
            break;
        }
        start += tag;
    }
    const std::size_t searchEnd = start + kMpegProbeSearchBytes;
    for (std::size_t first = start; first < searchEnd && first + kHeaderBytes <= size; ++first) {
        const auto head = ParseMpegFrameHeader(data + first, true);
        if (!head) {
            continue;
        }
        const std::size_t freeBytes =
            head->freeFormat ? FreeFormatFrameBytes(data, size, first, *head) : 0;
        if (head->freeFormat && freeBytes <= kHeaderBytes) {
            continue;
        }
        int chain = 1;
        std::uint64_t next = first + FrameBytes(*head, freeBytes);
        while (chain < kMpegProbeChainFrames && next + kHeaderBytes <= size) {
            const auto h = ParseMpegFrameHeader(data + next, true);
            if (!h || !SameStream(*h, *head)) {
                break;
            }
            ++chain;
            next += FrameBytes(*h, freeBytes);
        }
        if (chain >= kMpegProbeChainFrames || (chain >= kMinChainAtEof && next == fileSize)) {
            return first;
        }
    }
    return std::nullopt;
}

}  // namespace tarvel::audio
