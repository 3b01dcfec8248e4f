#include "audio/cd/CdaStub.h"

#include <cstring>

#include "audio/LittleEndian.h"

namespace tarvel::audio {
namespace {

constexpr std::uint32_t kRiffSize = 36;
constexpr std::uint32_t kFmtSize = 24;
constexpr std::uint16_t kMaxTrack = 99;

}  // namespace

std::optional<CdaStub> ParseCdaStub(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size != kCdaStubBytes || std::memcmp(data, "RIFF", 4) != 0 ||
        ReadLe32(data + 4) != kRiffSize || std::memcmp(data + 8, "CDDA", 4) != 0 ||
        std::memcmp(data + 12, "fmt ", 4) != 0 || ReadLe32(data + 16) != kFmtSize) {
        return std::nullopt;
    }
    CdaStub s;
    s.version = ReadLe16(data + 20);
    s.track = ReadLe16(data + 22);
    s.volumeSerial = ReadLe32(data + 24);
    s.firstSector = ReadLe32(data + 28);
    s.sectors = ReadLe32(data + 32);
    s.firstMsf = ReadLe32(data + 36);
    s.lengthMsf = ReadLe32(data + 40);
    if (s.track == 0 || s.track > kMaxTrack) {
        return std::nullopt;
    }
    return s;
}

}  // namespace tarvel::audio
