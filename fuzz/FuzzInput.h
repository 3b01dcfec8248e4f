// Helpers shared by the fuzz targets: fuzz data as a file path without touching the disk, and a
// bounded decode that exercises reads and seeks.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/Decoder.h"

namespace tarvel::fuzz {

// An anonymous in-memory file holding the data, reachable by path through /proc.
class MemoryFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
        : fd_(::memfd_create("tarvel-fuzz", MFD_CLOEXEC)) {
        std::size_t done = 0;
        while (fd_ >= 0 && done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

// Frames decoded at most per input, so that one input cannot stall the run.
inline constexpr std::size_t kMaxFuzzFrames = 1 << 18;

// Reads from the start, seeks to the middle, back to a quarter (a decoder that can only decode
// forward starts over) and to the end, reading after each.
inline void Exercise(audio::Decoder& d) {
    const std::size_t chunk = 1024;
    std::vector<std::int16_t> buf(chunk * d.channels());
    std::size_t total = 0;
    while (total < kMaxFuzzFrames) {
        const std::size_t n = d.read(buf.data(), chunk).frames();
        if (n == 0) {
            break;
        }
        total += n;
    }
    const std::uint64_t len = d.lengthFrames();
    for (const std::uint64_t target : {len / 2, len / 4, len, len + 1}) {
        if (d.seek(target)) {
            d.read(buf.data(), chunk);
        }
    }
}

}  // namespace tarvel::fuzz
