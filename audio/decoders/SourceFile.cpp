#include "audio/decoders/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "audio/decoders/FileReadAhead.h"

namespace tarvel::audio {

SourceFile::SourceFile(int fd, std::uint64_t size, ReadAhead depth)
    : fd_(fd), size_(size), depth_(depth) {}

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

std::optional<SourceFile> SourceFile::duplicate(ReadAhead depth) const {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    return SourceFile(fd, size_, depth);
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      pos_(other.pos_),
      depth_(other.depth_),
      ahead_(std::move(other.ahead_)) {}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        ahead_.reset();
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        pos_ = other.pos_;
        depth_ = other.depth_;
        ahead_ = std::move(other.ahead_);
    }
    return *this;
}

SourceFile::~SourceFile() {
    ahead_.reset();
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
    if (fd_ < 0) {
        return 0;
    }
    if (!ahead_) {
        ahead_ = std::make_unique<FileReadAhead>(fd_, size_,
                                                 depth_ == ReadAhead::Short
                                                     ? FileReadAhead::kShortAheadBlocks
                                                     : FileReadAhead::kAheadBlocks);
    }
    const std::size_t done = ahead_->read(out, bytes, pos_);
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
