#include "audio/decoders/FileReadAhead.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvel::audio {

FileReadAhead::FileReadAhead(int fd, std::uint64_t size, std::size_t aheadBlocks)
    : fd_(fd),
      size_(size),
      blocks_((size + kBlockBytes - 1) / kBlockBytes),
      aheadBlocks_(std::clamp<std::size_t>(aheadBlocks, 1, kKeptBlocks)) {}

FileReadAhead::~FileReadAhead() {
    if (thread_.joinable()) {
        thread_.request_stop();
        changed_.notify_all();
        thread_.join();
    }
}

FileReadAhead::Block FileReadAhead::readBlock(std::uint64_t index) const {
    const std::uint64_t offset = index * kBlockBytes;
    auto block = std::make_shared<std::vector<std::uint8_t>>(
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, size_ - offset)));
    std::size_t done = 0;
    while (done < block->size()) {
        const ssize_t n = ::pread(fd_, block->data() + done, block->size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the file shrank, or cannot be read here: it ends early
        }
        done += static_cast<std::size_t>(n);
    }
    block->resize(done);
    return block;
}

void FileReadAhead::keep(std::uint64_t index, Block block) {
    reading_.erase(index);
    if (kept_.emplace(index, std::move(block)).second) {
        recent_.push_front(index);
    }
    while (kept_.size() > kKeptBlocks) {
        // The least recently used block that is not the reader's or ahead of it.
        auto victim = std::find_if(recent_.rbegin(), recent_.rend(), [this](std::uint64_t b) {
            return b < readerBlock_ || b >= readerBlock_ + aheadBlocks_;
        });
        if (victim == recent_.rend()) {
            break;
        }
        kept_.erase(*victim);
        recent_.erase(std::next(victim).base());
    }
    changed_.notify_all();
}

FileReadAhead::Block FileReadAhead::take(std::uint64_t index, std::unique_lock<std::mutex>& lock) {
    if (index >= blocks_) {
        return nullptr;
    }
    for (;;) {
        if (const auto it = kept_.find(index); it != kept_.end()) {
            recent_.remove(index);
            recent_.push_front(index);
            return it->second;
        }
        if (reading_.count(index) == 0) {
            break;
        }
        changed_.wait(lock);  // the thread is reading it already
    }
    reading_.insert(index);
    lock.unlock();
    Block block = readBlock(index);
    lock.lock();
    keep(index, block);
    return block;
}

std::size_t FileReadAhead::read(void* out, std::size_t bytes, std::uint64_t offset) {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) {
        thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
    }
    auto* dst = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < bytes && offset + done < size_) {
        const std::uint64_t at = offset + done;
        const std::uint64_t index = at / kBlockBytes;
        if (index != readerBlock_) {
            readerBlock_ = index;
            changed_.notify_all();
        }
        const Block block = take(index, lock);
        const auto into = static_cast<std::size_t>(at - index * kBlockBytes);
        if (!block || into >= block->size()) {
            break;
        }
        const std::size_t n = std::min(bytes - done, block->size() - into);
        std::memcpy(dst + done, block->data() + into, n);
        done += n;
        if (block->size() < kBlockBytes) {
            break;  // a short block: the file ended there
        }
    }
    return done;
}

bool FileReadAhead::nextWanted(std::uint64_t* index) const {
    const std::uint64_t end = std::min(blocks_, readerBlock_ + aheadBlocks_);
    for (std::uint64_t b = readerBlock_; b < end; ++b) {
        if (kept_.count(b) == 0 && reading_.count(b) == 0) {
            *index = b;
            return true;
        }
    }
    return false;
}

void FileReadAhead::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        std::uint64_t index = 0;
        if (!changed_.wait(lock, stop, [&] { return nextWanted(&index); })) {
            break;
        }
        reading_.insert(index);
        lock.unlock();
        // The disk may take its time here; the reader goes on with what is in memory.
        Block block = readBlock(index);
        lock.lock();
        keep(index, std::move(block));
    }
}

}  // namespace tarvel::audio
