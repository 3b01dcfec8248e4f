#include "audio/Channel.h"

namespace tarvel::audio {

void Channel::fireSyncs(DWORD type, std::uint64_t frame) {
    run(syncs_.due(type, frame));
}

void Channel::firePositionSyncsPast(std::uint64_t frame) {
    run(syncs_.past(frame));
}

void Channel::run(const std::vector<Sync>& syncs) {
    for (const Sync& sync : syncs) {
        // An earlier callback of this walk may have removed this sync or freed the channel.
        if (released_ || !syncs_.contains(sync.handle)) {
            continue;
        }
        ++syncDepth_;
        ++syncsFired_;
        sync.proc(sync.handle, handle_, 0, sync.user);
        --syncDepth_;
    }
}

}  // namespace tarvel::audio
