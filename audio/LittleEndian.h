// Little-endian numbers in byte buffers: the RIFF headers of WAV files and images, ".cda" stubs.
// Byte by byte, so neither the host's byte order nor the buffer's alignment matters.
#pragma once

#include <cstdint>

namespace tarvel::audio {

inline std::uint16_t ReadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t ReadLe64(const std::uint8_t* p) {
    return ReadLe32(p) | (static_cast<std::uint64_t>(ReadLe32(p + 4)) << 32);
}

inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
    WriteLe16(p, static_cast<std::uint16_t>(v & 0xFFFF));
    WriteLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace tarvel::audio
