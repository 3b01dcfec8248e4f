#include "audio/cd/CdaStub.h"

#include <cstring>

namespace tarvel::audio {
namespace {

constexpr std::uint32_t kRiffSize = 36;
constexpr std::uint32_t kFmtSize = 24;
constexpr std::uint16_t kMaxTrack = 99;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<CdaStub> ParseCdaStub(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size != kCdaStubBytes || std::memcmp(data, "RIFF", 4) != 0 ||
        Le32(data + 4) != kRiffSize || std::memcmp(data + 8, "CDDA", 4) != 0 ||
        std::memcmp(data + 12, "fmt ", 4) != 0 || Le32(data + 16) != kFmtSize) {
        return std::nullopt;
    }
    CdaStub s;
    s.version = Le16(data + 20);
    s.track = Le16(data + 22);
    s.volumeSerial = Le32(data + 24);
    s.firstSector = Le32(data + 28);
    s.sectors = Le32(data + 32);
    s.firstMsf = Le32(data + 36);
    s.lengthMsf = Le32(data + 40);
    if (s.track == 0 || s.track > kMaxTrack) {
        return std::nullopt;
    }
    return s;
}

}  // namespace tarvel::audio
