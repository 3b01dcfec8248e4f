// The bytes a decoder reads: a regular file (through SourceFile) or a block in memory read in
// place. Every library that takes read/seek/tell callbacks reads through one of these, so each
// decoder opens files and memory blocks the same way. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/decoders/SourceFile.h"

namespace tarvel::audio {

class ByteSource {
  public:
    // Empty if `path` is not a readable regular file.
    static std::optional<ByteSource> File(const std::string& path);
    // The block must outlive the source and every copy made with duplicate().
    static ByteSource Memory(const void* data, std::size_t size);

    ByteSource(ByteSource&&) noexcept = default;
    ByteSource& operator=(ByteSource&&) noexcept = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // A second, independent reader of the same bytes, positioned at 0. Empty if the file can
    // no longer be opened.
    std::optional<ByteSource> duplicate(ReadAhead depth = ReadAhead::Deep) const;

    std::uint64_t size() const { return file_ ? file_->size() : memSize_; }
    std::uint64_t tell() const { return file_ ? file_->tell() : memPos_; }
    // Absolute position; positions past the end are allowed (reads there return 0).
    bool seekTo(std::int64_t pos);
    // Reads at the position and advances it; returns the bytes read (0 at the end or on error).
    std::size_t read(void* out, std::size_t bytes);
    // Reads up to `bytes` from `offset` without moving the position.
    std::vector<std::uint8_t> peek(std::uint64_t offset, std::size_t bytes) const;

  private:
    ByteSource() = default;

    std::optional<SourceFile> file_;
    const std::uint8_t* mem_ = nullptr;
    std::uint64_t memSize_ = 0;
    std::uint64_t memPos_ = 0;
};

}  // namespace tarvel::audio
