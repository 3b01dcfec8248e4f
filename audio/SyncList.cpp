#include "audio/SyncList.h"

#include <algorithm>

namespace tarvel::audio {

bool SyncList::remove(HSYNC handle) {
    const auto it = std::find_if(syncs_.begin(), syncs_.end(),
                                 [handle](const Sync& s) { return s.handle == handle; });
    if (it == syncs_.end()) {
        return false;
    }
    syncs_.erase(it);
    return true;
}

std::vector<HSYNC> SyncList::handles() const {
    std::vector<HSYNC> out;
    out.reserve(syncs_.size());
    for (const Sync& s : syncs_) {
        out.push_back(s.handle);
    }
    return out;
}

std::optional<std::uint64_t> SyncList::nextPositionAfter(std::uint64_t frame) const {
    std::optional<std::uint64_t> best;
    for (const Sync& s : syncs_) {
        if (s.type == BASS_SYNC_POS && s.frame > frame && (!best || s.frame < *best)) {
            best = s.frame;
        }
    }
    return best;
}

std::vector<Sync> SyncList::due(DWORD type, std::uint64_t frame) const {
    std::vector<Sync> out;
    for (const Sync& s : syncs_) {
        if (s.type == type && (type != BASS_SYNC_POS || s.frame == frame)) {
            out.push_back(s);
        }
    }
    return out;
}

std::vector<Sync> SyncList::past(std::uint64_t frame) const {
    std::vector<Sync> out;
    for (const Sync& s : syncs_) {
        if (s.type == BASS_SYNC_POS && s.frame > frame) {
            out.push_back(s);
        }
    }
    return out;
}

bool SyncList::contains(HSYNC handle) const {
    return std::any_of(syncs_.begin(), syncs_.end(),
                       [handle](const Sync& s) { return s.handle == handle; });
}

}  // namespace tarvel::audio
