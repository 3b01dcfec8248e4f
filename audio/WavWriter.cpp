#include "audio/WavWriter.h"

#include <array>
#include <limits>

#include "audio/LittleEndian.h"

namespace tarvel::audio {

namespace {
constexpr std::uint32_t kHeaderBytes = 44;
constexpr std::uint32_t kFmtChunkBytes = 16;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kBitsPerSample = 16;
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
    std::array<std::uint8_t, kHeaderBytes> h{};
    const std::uint16_t blockAlign = channels_ * (kBitsPerSample / 8);
    h[0] = 'R', h[1] = 'I', h[2] = 'F', h[3] = 'F';
    WriteLe32(h.data() + 4, dataBytes + kHeaderBytes - 8);
    h[8] = 'W', h[9] = 'A', h[10] = 'V', h[11] = 'E';
    h[12] = 'f', h[13] = 'm', h[14] = 't', h[15] = ' ';
    WriteLe32(h.data() + 16, kFmtChunkBytes);
    WriteLe16(h.data() + 20, kFormatPcm);
    WriteLe16(h.data() + 22, channels_);
    WriteLe32(h.data() + 24, rate_);
    WriteLe32(h.data() + 28, rate_ * blockAlign);
    WriteLe16(h.data() + 32, blockAlign);
    WriteLe16(h.data() + 34, kBitsPerSample);
    h[36] = 'd', h[37] = 'a', h[38] = 't', h[39] = 'a';
    WriteLe32(h.data() + 40, dataBytes);
    file_.seekp(0);
    file_.write(reinterpret_cast<const char*>(h.data()), h.size());
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
