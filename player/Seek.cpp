#include "player/Seek.h"

namespace tarvel {

void SeekOrZero(DWORD channel, QWORD position) {
    if (!BASS_ChannelSetPosition(channel, position)) {
        BASS_ChannelSetPosition(channel, 0);
    }
}

QWORD LengthOrZero(DWORD channel) {
    const QWORD length = BASS_ChannelGetLength(channel);
    // A failed query must not turn into a region that ends nowhere.
    return length == BASS_ERROR_QWORD ? 0 : length;
}

}  // namespace tarvel
