#include "audio/decoders/WavImage.h"

#include <cstring>

#include "audio/LittleEndian.h"
#include "audio/decoders/FormatLimits.h"
#include "audio/decoders/SampleConvert.h"

namespace tarvel::audio {
namespace {

constexpr std::size_t kRiffHeaderSize = 12;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kFmtMinSize = 16;
constexpr std::size_t kFmtExtensibleMinSize = 40;
constexpr std::size_t kFmtSubFormatOffset = 24;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

bool Tag(const std::uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

struct Format {
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    WavSampleType type = WavSampleType::kSigned16;
    std::uint32_t bytesPerSample = 0;
};

std::optional<Format> ParseFmt(const std::uint8_t* p, std::size_t size) {
    if (size < kFmtMinSize) {
        return std::nullopt;
    }
    std::uint16_t tag = ReadLe16(p);
    Format f;
    f.channels = ReadLe16(p + 2);
    f.rate = ReadLe32(p + 4);
    const std::uint16_t bits = ReadLe16(p + 14);
    if (tag == kFormatExtensible) {
        if (size < kFmtExtensibleMinSize) {
            return std::nullopt;
        }
        tag = ReadLe16(p + kFmtSubFormatOffset);
    }
    if (f.channels == 0 || f.channels > kMaxSourceChannels || f.rate == 0) {
        return std::nullopt;
    }
    if (tag == kFormatPcm) {
        switch (bits) {
            case 8:
                f.type = WavSampleType::kUnsigned8;
                break;
            case 16:
                f.type = WavSampleType::kSigned16;
                break;
            case 24:
                f.type = WavSampleType::kSigned24;
                break;
            case 32:
                f.type = WavSampleType::kSigned32;
                break;
            default:
                return std::nullopt;
        }
    } else if (tag == kFormatFloat) {
        if (bits == 32) {
            f.type = WavSampleType::kFloat32;
        } else if (bits == 64) {
            f.type = WavSampleType::kFloat64;
        } else {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    f.bytesPerSample = bits / 8u;
    return f;
}

}  // namespace

std::optional<WavImageLayout> ParseWavImage(const std::uint8_t* data, std::size_t size) {
    return ParseWavHeader(data, size, size);
}

std::optional<WavImageLayout> ParseWavHeader(const std::uint8_t* data, std::size_t headBytes,
                                             std::uint64_t totalBytes) {
    if (data == nullptr || headBytes > totalBytes || headBytes < kRiffHeaderSize ||
        !Tag(data, "RIFF") || !Tag(data + 8, "WAVE")) {
        return std::nullopt;
    }
    // The RIFF size counts from offset 8; 0 or too large means the image runs to the block's end.
    const std::uint64_t riffSize = ReadLe32(data + 4);
    std::uint64_t end = totalBytes;
    if (riffSize != 0 && riffSize + 8 < totalBytes) {
        end = riffSize + 8;
    }

    std::optional<Format> fmt;
    std::optional<std::size_t> dataOffset;
    std::uint64_t dataBytes = 0;
    std::size_t pos = kRiffHeaderSize;
    while (pos + kChunkHeaderSize <= end && pos + kChunkHeaderSize <= headBytes) {
        const std::uint8_t* chunk = data + pos;
        const std::uint64_t chunkSize = ReadLe32(chunk + 4);
        const std::size_t body = pos + kChunkHeaderSize;
        const std::uint64_t room = end - body;
        if (Tag(chunk, "data")) {
            dataOffset = body;
            if (chunkSize == 0 || chunkSize > room) {
                dataBytes = room;  // an open-ended data chunk: take the rest of the block
                break;
            }
            dataBytes = chunkSize;
            if (fmt) {
                break;
            }
        } else if (Tag(chunk, "fmt ") && !fmt) {
            if (chunkSize > room || chunkSize > headBytes - body) {
                return std::nullopt;
            }
            fmt = ParseFmt(body + data, static_cast<std::size_t>(chunkSize));
            if (!fmt) {
                return std::nullopt;
            }
        } else if (chunkSize > room) {
            break;
        }
        // Chunks are padded to an even length.
        const std::uint64_t next = body + chunkSize + (chunkSize & 1u);
        if (next > end || next > headBytes) {
            break;
        }
        pos = static_cast<std::size_t>(next);
    }
    if (!fmt || !dataOffset) {
        return std::nullopt;
    }
    WavImageLayout layout;
    layout.rate = fmt->rate;
    layout.channels = fmt->channels;
    layout.type = fmt->type;
    layout.bytesPerFrame = fmt->bytesPerSample * fmt->channels;
    layout.dataOffset = *dataOffset;
    layout.frames = dataBytes / layout.bytesPerFrame;
    return layout;
}

std::int16_t ConvertWavSample(WavSampleType type, const std::uint8_t* p) {
    switch (type) {
        case WavSampleType::kUnsigned8:
            return U8ToS16(p[0]);
        case WavSampleType::kSigned16:
            return static_cast<std::int16_t>(ReadLe16(p));
        case WavSampleType::kSigned24: {
            const auto u = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
            return S24ToS16(static_cast<std::int32_t>(u << 8) >> 8);  // sign-extend 24 bits
        }
        case WavSampleType::kSigned32:
            return S32ToS16(static_cast<std::int32_t>(ReadLe32(p)));
        case WavSampleType::kFloat32: {
            const std::uint32_t u = ReadLe32(p);
            float f;
            std::memcpy(&f, &u, sizeof f);
            return FloatToS16(f);
        }
        case WavSampleType::kFloat64: {
            const std::uint64_t u = ReadLe64(p);
            double d;
            std::memcpy(&d, &u, sizeof d);
            return FloatToS16(d);
        }
    }
    return 0;
}

}  // namespace tarvel::audio
