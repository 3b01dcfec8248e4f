// The end-of-region callback and the one sync it hangs on.
//
// LoopSyncProc runs on the engine's mixing thread when playback reaches the end mark or the end
// of the source: it seeks back to the start mark (repeat play) or stops (single play). It reads
// Closing, RepeatMode and LoopStart, writes Playing, and touches only the channel it is given, so
// a callback still running for a channel that a load has just replaced does no harm.
#pragma once

#include "audio/bass.h"
#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr DWORD kLoopSyncAtEnd = BASS_SYNC_END | BASS_SYNC_MIXTIME;       // 0x40000002
inline constexpr DWORD kLoopSyncAtPosition = BASS_SYNC_POS | BASS_SYNC_MIXTIME;  // 0x40000000

// `user` is the PlayerSession the sync was set for.
void LoopSyncProc(HSYNC handle, DWORD channel, DWORD data, void* user);

// Removes LoopSync from PlayChannel and sets a mix-time end-of-source sync in its place (UI).
void SetLoopSyncAtEnd(PlayerSession& session);
// Removes LoopSync from PlayChannel and sets a mix-time position sync at LoopEnd (UI).
void SetLoopSyncAtLoopEnd(PlayerSession& session);

}  // namespace tarvel
