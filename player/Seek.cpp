#include "player/Seek.h"

namespace tarvel {

void SeekOrZero(DWORD channel, QWORD position) {
    if (!BASS_ChannelSetPosition(channel, position)) {
        BASS_ChannelSetPosition(channel, 0);
    }
}

std::uint32_t LengthLow32(DWORD channel) {
    const QWORD length = BASS_ChannelGetLength(channel);
    // A failed query must not turn into a region end at 4 GiB.
    if (length == BASS_ERROR_QWORD) {
        return 0;
    }
    return static_cast<std::uint32_t>(length);
}

}  // namespace tarvel
