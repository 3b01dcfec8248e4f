#include "player/VolumeControl.h"

namespace tarvel {

void ApplyVolume(DWORD channel, int volume) {
    BASS_ChannelSetAttributes(channel, BASS_ATTRIB_KEEP_FREQ, volume, BASS_ATTRIB_KEEP_PAN);
}

void TrackBar1Change(PlayerSession& session, int position) {
    session.Volume.store(position);
    ApplyVolume(session.PlayChannel.load(), position);
}

}  // namespace tarvel
