// Opening a file the way the player's LOAD does, for the bench and render tools: a decode-only
// stream, or a tracker module when that fails, wrapped in a tempo stream whose options and
// volume are set right after.
#pragma once

#include <string>

#include "audio/bass.h"

namespace tarvel::bench {

inline constexpr DWORD kLoadMusicFlags = BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP;
inline constexpr DWORD kLoadTempoFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;
inline constexpr DWORD kSequenceMs = 32;
inline constexpr DWORD kSeekWindowMs = 20;

// Decode-only source; 0 if the file is neither a stream nor a module.
inline DWORD OpenDecodeSource(const std::string& path) {
    const DWORD stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    return stream != 0 ? stream : BASS_MusicLoad(0, path.c_str(), 0, 0, kLoadMusicFlags, 0);
}

inline void ApplyTempoOptions(DWORD channel) {
    BASS_FX_TempoSetOption(channel, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, kSequenceMs);
    BASS_FX_TempoSetOption(channel, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, kSeekWindowMs);
}

// The playable tempo stream (or, with `extraFlags` = BASS_STREAM_DECODE, a decode-only one) at
// volume `volume`; 0 on failure (the source is freed then).
inline HSTREAM OpenLikePlayer(const std::string& path, int volume, DWORD extraFlags = 0) {
    const DWORD source = OpenDecodeSource(path);
    if (source == 0) {
        return 0;
    }
    const HSTREAM tempo = BASS_FX_TempoCreate(source, kLoadTempoFlags | extraFlags);
    if (tempo == 0) {
        BASS_StreamFree(source);
        BASS_MusicFree(source);
        return 0;
    }
    ApplyTempoOptions(tempo);
    BASS_ChannelSetAttributes(tempo, -1, volume, -101);
    return tempo;
}

// Seconds of source audio in `bytes` of `channel`.
inline double SecondsOf(DWORD channel, QWORD bytes) {
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(channel, &info) || info.freq == 0 || info.chans == 0) {
        return 0.0;
    }
    return static_cast<double>(bytes) / (static_cast<double>(info.freq) * info.chans * 2.0);
}

}  // namespace tarvel::bench
