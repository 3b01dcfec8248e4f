// Writes 16-bit PCM WAV files (capture output, render tool, tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace tarvel::audio {

class WavWriter {
  public:
    WavWriter(const std::string& path, std::uint32_t rate, std::uint16_t channels);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool ok() const { return static_cast<bool>(file_); }
    bool write(const std::int16_t* samples, std::size_t frames);
    // Fixes the size fields; also done by the destructor. False if anything failed.
    bool close();

  private:
    void writeHeader(std::uint32_t dataBytes);

    std::ofstream file_;
    const std::uint32_t rate_;
    const std::uint16_t channels_;
    std::uint64_t dataBytes_ = 0;
    bool closed_ = false;
};

}  // namespace tarvel::audio
