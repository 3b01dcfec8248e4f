// Opening a recording as the decode-only source a play or scan channel reads: a file as a stream
// or, failing that, as a tracker module; a CD track from its ".cda" stub. Loading and the
// waveform scan open it the same way.
#pragma once

#include "player/AudioPort.h"

namespace tarvel {

inline constexpr DWORD kSourceStreamFlags = BASS_STREAM_DECODE;  // 0x200000
inline constexpr DWORD kSourceMusicFlags =
    BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP;                      // 0x220200
inline constexpr DWORD kSourceCdFlags = BASS_STREAM_DECODE | BASS_STREAM_PRESCAN;  // 0x220000

// A decode-only source; a module is released with a different call than a stream. `music` says
// which kind was tried last, so a failed open (handle 0) is released as that kind.
struct DecodeSource {
    DWORD handle = 0;
    bool music = false;
};

// `path` is UTF-8. handle 0 when nothing can decode it.
DecodeSource OpenDecodeSource(AudioPort& audio, const char* path, bool isCdTrack);
void FreeDecodeSource(AudioPort& audio, DecodeSource source);

}  // namespace tarvel
