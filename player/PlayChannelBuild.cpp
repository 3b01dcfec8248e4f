#include "player/PlayChannelBuild.h"

namespace tarvel {

void ApplyTempoOptions(AudioPort& audio, DWORD channel) {
    audio.FxTempoSetOption(channel, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, kTempoSequenceMs);
    audio.FxTempoSetOption(channel, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, kTempoSeekWindowMs);
}

HSTREAM BuildPlayChannel(AudioPort& audio, DWORD source, int volume,
                         const std::function<void(HSTREAM)>& publish) {
    const HSTREAM tempo = audio.FxTempoCreate(source, kTempoCreateFlags);
    publish(tempo);
    ApplyTempoOptions(audio, tempo);
    audio.ChannelSetAttributes(tempo, BASS_ATTRIB_KEEP_FREQ, volume, BASS_ATTRIB_KEEP_PAN);
    return tempo;
}

}  // namespace tarvel
