#include "audio/decoders/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tarvel::audio {

namespace {
// Large enough that a 128 kbit/s MPEG stream costs one system call per four seconds, small enough
// to stay out of the memory budget; reads at least this long bypass it.
constexpr std::size_t kReadAheadBytes = std::size_t{64} * 1024;
}  // namespace

std::optional<SourceFile> SourceFile::Open(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    return SourceFile(fd, static_cast<std::uint64_t>(st.st_size));
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      pos_(other.pos_),
      ahead_(std::move(other.ahead_)),
      aheadStart_(other.aheadStart_) {}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        pos_ = other.pos_;
        ahead_ = std::move(other.ahead_);
        aheadStart_ = other.aheadStart_;
    }
    return *this;
}

SourceFile::~SourceFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::size_t SourceFile::readAt(void* out, std::size_t bytes, std::uint64_t offset) const {
    std::size_t done = 0;
    auto* dst = static_cast<char*>(out);
    while (done < bytes) {
        const ssize_t n = ::pread(fd_, dst + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t SourceFile::read(void* out, std::size_t bytes) {
    std::size_t done = 0;
    auto* dst = static_cast<std::uint8_t*>(out);
    while (done < bytes) {
        const std::uint64_t at = pos_ + done;
        if (at >= aheadStart_ && at < aheadStart_ + ahead_.size()) {
            const auto from = static_cast<std::size_t>(at - aheadStart_);
            const std::size_t n = std::min(bytes - done, ahead_.size() - from);
            std::memcpy(dst + done, ahead_.data() + from, n);
            done += n;
            continue;
        }
        if (bytes - done >= kReadAheadBytes) {
            done += readAt(dst + done, bytes - done, at);
            break;
        }
        ahead_.resize(kReadAheadBytes);
        ahead_.resize(readAt(ahead_.data(), ahead_.size(), at));
        aheadStart_ = at;
        if (ahead_.empty()) {
            break;
        }
    }
    pos_ += done;
    return done;
}

bool SourceFile::seekTo(std::int64_t pos) {
    if (pos < 0) {
        return false;
    }
    pos_ = static_cast<std::uint64_t>(pos);
    return true;
}

std::vector<std::uint8_t> SourceFile::peek(std::uint64_t offset, std::size_t bytes) const {
    std::vector<std::uint8_t> buf;
    if (offset >= size_) {
        return buf;
    }
    if (bytes > size_ - offset) {
        bytes = static_cast<std::size_t>(size_ - offset);
    }
    buf.resize(bytes);
    const std::size_t done = readAt(buf.data(), bytes, offset);
    buf.resize(done);
    return buf;
}

}  // namespace tarvel::audio
