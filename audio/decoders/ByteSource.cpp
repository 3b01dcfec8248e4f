#include "audio/decoders/ByteSource.h"

#include <algorithm>

namespace tarvel::audio {

std::optional<ByteSource> ByteSource::File(const std::string& path) {
    auto file = SourceFile::Open(path);
    if (!file) {
        return std::nullopt;
    }
    ByteSource src;
    src.file_ = std::move(file);
    return src;
}

ByteSource ByteSource::Memory(const void* data, std::size_t size) {
    ByteSource src;
    src.mem_ = static_cast<const std::uint8_t*>(data);
    src.memSize_ = data == nullptr ? 0 : size;
    return src;
}

std::optional<ByteSource> ByteSource::duplicate(ReadAhead depth) const {
    if (!file_) {
        return Memory(mem_, static_cast<std::size_t>(memSize_));
    }
    auto file = file_->duplicate(depth);
    if (!file) {
        return std::nullopt;
    }
    ByteSource src;
    src.file_ = std::move(file);
    return src;
}

bool ByteSource::seekTo(std::int64_t pos) {
    if (pos < 0) {
        return false;
    }
    if (file_) {
        return file_->seekTo(pos);
    }
    memPos_ = static_cast<std::uint64_t>(pos);
    return true;
}

std::size_t ByteSource::read(void* out, std::size_t bytes) {
    if (file_) {
        return file_->read(out, bytes);
    }
    if (memPos_ >= memSize_) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, memSize_ - memPos_));
    std::copy_n(mem_ + memPos_, n, static_cast<std::uint8_t*>(out));
    memPos_ += n;
    return n;
}

std::vector<std::uint8_t> ByteSource::peek(std::uint64_t offset, std::size_t bytes) const {
    if (file_) {
        return file_->peek(offset, bytes);
    }
    if (offset >= memSize_) {
        return {};
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, memSize_ - offset));
    return {mem_ + offset, mem_ + offset + n};
}

}  // namespace tarvel::audio
