// Building PlayChannel on a decode-only source: the tempo channel (which frees its source with
// it), then the two tempo options, then the volume. Loading a source and rebuilding a CD track
// from its memory image both build it here, so the order is written once.
#pragma once

#include <functional>

#include "player/AudioPort.h"

namespace tarvel {

inline constexpr DWORD kTempoCreateFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;  // 0x10004
// Passed after every tempo channel is made and after every tempo change.
inline constexpr DWORD kTempoSequenceMs = 32;
inline constexpr DWORD kTempoSeekWindowMs = 20;

void ApplyTempoOptions(AudioPort& audio, DWORD channel);

// Wraps `source` and hands the tempo channel to `publish` (which makes it PlayChannel) before
// the options and the volume are set; those are set even when the wrapper could not be made
// (0), where they fail without effect. Returns the tempo channel; on 0 the caller still owns
// `source`.
HSTREAM BuildPlayChannel(AudioPort& audio, DWORD source, int volume,
                         const std::function<void(HSTREAM)>& publish);

}  // namespace tarvel
