// A read-only regular file opened for a decoder, with its own read position. Reads are served
// from blocks that a thread of the file's own reads ahead (FileReadAhead): decoders read a few
// hundred bytes at a time (libmpg123 a frame header, then the frame), which would otherwise be
// two system calls per frame, and a disk that stalls holds up that thread, not the decoder.
// Directories, FIFOs, devices and unreadable paths are refused at open, so no decoder can block
// on a pipe or read a directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvel::audio {

class FileReadAhead;

// How far a file is read ahead of its reader: deep for playback, which must ride out a disk that
// stalls; short for a reader that decodes one stretch and jumps on.
enum class ReadAhead { Deep, Short };

class SourceFile {
  public:
    // Empty if `path` is not a readable regular file.
    static std::optional<SourceFile> Open(const std::string& path);

    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    // A second reader of the same open file (its own position and read-ahead), positioned at
    // 0. Empty if the system refuses another descriptor.
    std::optional<SourceFile> duplicate(ReadAhead depth = ReadAhead::Deep) const;

    std::uint64_t size() const { return size_; }
    std::uint64_t tell() const { return pos_; }
    // Reads at the position and advances it; returns the bytes read (0 at the end or on error).
    std::size_t read(void* out, std::size_t bytes);
    // Absolute position; positions past the end are allowed (reads there return 0).
    bool seekTo(std::int64_t pos);
    // Reads up to `bytes` from `offset` without moving the position.
    std::vector<std::uint8_t> peek(std::uint64_t offset, std::size_t bytes) const;

  private:
    SourceFile(int fd, std::uint64_t size, ReadAhead depth = ReadAhead::Deep);

    // Reads `bytes` at `offset` straight from the file; fewer only at its end or on an error.
    std::size_t readAt(void* out, std::size_t bytes, std::uint64_t offset) const;

    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    ReadAhead depth_ = ReadAhead::Deep;
    std::unique_ptr<FileReadAhead> ahead_;  // made by the first read; gone before fd_ closes
};

}  // namespace tarvel::audio
