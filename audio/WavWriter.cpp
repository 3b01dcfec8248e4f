#include "audio/WavWriter.h"

#include <array>
#include <limits>

namespace tarvel::audio {

namespace {
constexpr std::uint32_t kHeaderBytes = 44;
constexpr std::uint32_t kFmtChunkBytes = 16;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kBitsPerSample = 16;

void Put16(std::array<char, kHeaderBytes>& h, std::size_t at, std::uint16_t v) {
    h[at] = static_cast<char>(v & 0xFF);
    h[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::array<char, kHeaderBytes>& h, std::size_t at, std::uint32_t v) {
    Put16(h, at, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(h, at + 2, static_cast<std::uint16_t>(v >> 16));
}
}  // namespace

WavWriter::WavWriter(const std::string& path, std::uint32_t rate, std::uint16_t channels)
    : file_(path, std::ios::binary | std::ios::trunc), rate_(rate), channels_(channels) {
    if (file_) {
        writeHeader(0);
    }
}

WavWriter::~WavWriter() {
    close();
}

void WavWriter::writeHeader(std::uint32_t dataBytes) {
    std::array<char, kHeaderBytes> h{};
    const std::uint16_t blockAlign = channels_ * (kBitsPerSample / 8);
    h[0] = 'R', h[1] = 'I', h[2] = 'F', h[3] = 'F';
    Put32(h, 4, dataBytes + kHeaderBytes - 8);
    h[8] = 'W', h[9] = 'A', h[10] = 'V', h[11] = 'E';
    h[12] = 'f', h[13] = 'm', h[14] = 't', h[15] = ' ';
    Put32(h, 16, kFmtChunkBytes);
    Put16(h, 20, kFormatPcm);
    Put16(h, 22, channels_);
    Put32(h, 24, rate_);
    Put32(h, 28, rate_ * blockAlign);
    Put16(h, 32, blockAlign);
    Put16(h, 34, kBitsPerSample);
    h[36] = 'd', h[37] = 'a', h[38] = 't', h[39] = 'a';
    Put32(h, 40, dataBytes);
    file_.seekp(0);
    file_.write(h.data(), h.size());
}

bool WavWriter::write(const std::int16_t* samples, std::size_t frames) {
    if (!file_ || closed_) {
        return false;
    }
    // Little-endian on every machine this builds for.
    const std::size_t bytes = frames * channels_ * sizeof(std::int16_t);
    file_.write(reinterpret_cast<const char*>(samples), static_cast<std::streamsize>(bytes));
    dataBytes_ += bytes;
    return static_cast<bool>(file_);
}

bool WavWriter::close() {
    if (closed_) {
        return static_cast<bool>(file_);
    }
    closed_ = true;
    if (!file_) {
        return false;
    }
    const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max() - kHeaderBytes;
    writeHeader(static_cast<std::uint32_t>(dataBytes_ > limit ? limit : dataBytes_));
    file_.close();
    return !file_.fail();
}

}  // namespace tarvel::audio
