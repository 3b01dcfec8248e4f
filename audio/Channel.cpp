#include "audio/Channel.h"

namespace tarvel::audio {

void Channel::fireSyncs(DWORD type, std::uint64_t frame) {
    for (const Sync& sync : syncs_.due(type, frame)) {
        // An earlier callback of this walk may have removed this sync or freed the channel.
        if (released_ || !syncs_.contains(sync.handle)) {
            continue;
        }
        ++syncDepth_;
        sync.proc(sync.handle, handle_, 0, sync.user);
        --syncDepth_;
    }
}

}  // namespace tarvel::audio
