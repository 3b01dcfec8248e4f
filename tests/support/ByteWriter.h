#pragma once

#include <cstdint>
#include <vector>

// Little-endian writers for building RIFF-style test files byte by byte.
namespace tarvel::test {

inline void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// Byte by byte: GCC 12 misreads a 4-byte range insert as an overflow.
inline void PutTag(std::vector<std::uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}

}  // namespace tarvel::test
