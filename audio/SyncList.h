// The mix-time syncs set on one channel: position syncs (a source frame) and end syncs.
//
// Owned by its channel and guarded by the channel's mutex (every member is called with it held).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "audio/bass.h"

namespace tarvel::audio {

struct Sync {
    HSYNC handle = 0;
    DWORD type = 0;           // BASS_SYNC_POS or BASS_SYNC_END (mix-time bit removed)
    std::uint64_t frame = 0;  // position syncs: the source frame they stand for
    SYNCPROC* proc = nullptr;
    void* user = nullptr;
};

class SyncList {
  public:
    void add(const Sync& sync) { syncs_.push_back(sync); }
    bool remove(HSYNC handle);
    void clear() { syncs_.clear(); }
    bool empty() const { return syncs_.empty(); }
    std::vector<HSYNC> handles() const;

    // The smallest position-sync frame strictly after `frame`, if any.
    std::optional<std::uint64_t> nextPositionAfter(std::uint64_t frame) const;
    // Copies of the syncs of `type` (at `frame` for position syncs), in the order they were set.
    // Copies, because a callback may remove syncs while the caller walks the result.
    std::vector<Sync> due(DWORD type, std::uint64_t frame) const;
    // Copies of the position syncs set after `frame`, in the order they were set.
    std::vector<Sync> past(std::uint64_t frame) const;
    // Whether `handle` is still set (a callback earlier in the same walk may have removed it).
    bool contains(HSYNC handle) const;

  private:
    std::vector<Sync> syncs_;
};

}  // namespace tarvel::audio
