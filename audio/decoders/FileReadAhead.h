// Reads one file ahead of its reader on a thread of its own, in blocks, and keeps the blocks read
// lately: a disk that stalls now and then (a USB drive, a network share, a busy disk) then
// stalls that thread, not the reader, which finds the next blocks already in memory; and a loop
// that goes back a few seconds finds its start still there.
//
// Threads: read() is called by the file's user (one thread at a time); the read-ahead thread
// reads the file. Everything shared is guarded by mutex_. The thread starts with the first
// read, so a file opened only to be probed costs no thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarvel::audio {

class FileReadAhead {
  public:
    static constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;
    // Blocks read ahead of the reader: 2 MiB, over ten seconds of CD audio at normal speed.
    static constexpr std::size_t kAheadBlocks = 32;
    // For a reader that decodes one stretch and then jumps on (a helper of the parallel scan):
    // reading far ahead would read what another reader decodes.
    static constexpr std::size_t kShortAheadBlocks = 4;
    // Blocks kept in all, the ones behind the reader included.
    static constexpr std::size_t kKeptBlocks = 64;

    // `fd` stays owned by the caller and open for this object's life. `aheadBlocks` is at
    // least 1 and at most kKeptBlocks.
    FileReadAhead(int fd, std::uint64_t size, std::size_t aheadBlocks = kAheadBlocks);
    ~FileReadAhead();  // stops and joins the thread
    FileReadAhead(const FileReadAhead&) = delete;
    FileReadAhead& operator=(const FileReadAhead&) = delete;

    // Up to `bytes` from `offset`; fewer only at the end of the file or on a read error. Waits
    // only for a block that is not in memory yet.
    std::size_t read(void* out, std::size_t bytes, std::uint64_t offset);

  private:
    using Block = std::shared_ptr<const std::vector<std::uint8_t>>;

    void run(const std::stop_token& stop);
    // The block `index`, from memory or read now; null past the end. With `lock` held.
    Block take(std::uint64_t index, std::unique_lock<std::mutex>& lock);
    Block readBlock(std::uint64_t index) const;  // without the lock
    void keep(std::uint64_t index, Block block);
    // The next block the thread should read, if any. With the lock held.
    bool nextWanted(std::uint64_t* index) const;

    const int fd_;
    const std::uint64_t size_;
    const std::uint64_t blocks_;
    const std::size_t aheadBlocks_;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::unordered_map<std::uint64_t, Block> kept_;
    std::list<std::uint64_t> recent_;  // most recently used first
    std::set<std::uint64_t> reading_;  // blocks being read by someone now
    std::uint64_t readerBlock_ = 0;    // where the reader is

    std::jthread thread_;  // started on the first read
};

}  // namespace tarvel::audio
