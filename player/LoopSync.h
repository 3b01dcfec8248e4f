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

// Puts the sync that `set(channel)` makes on PlayChannel in place of LoopSync, removing the old
// one with `remove(channel, sync)`. Two threads replace it (the user-interface thread, and the
// scan thread when it rebuilds a CD track's channel), so without a lock: the new handle is
// stored by compare-and-swap against the handle this writer removed; if another writer got in
// between, this writer's sync goes again and the replacement starts over on the channel and
// handle as they are now. So PlayChannel only ever carries the one sync named by LoopSync.
// `removed`: the caller has already removed LoopSync (from the channel PlayChannel replaced).
template <typename Remove, typename Set>
void ReplaceLoopSync(PlayerSession& session, Remove&& remove, Set&& set, bool removed = false) {
    for (bool first = true;; first = false) {
        HSYNC replaced = session.LoopSync.load();
        const HSTREAM channel = session.PlayChannel.load();
        if (!(first && removed)) {
            remove(channel, replaced);
        }
        const HSYNC made = set(channel);
        if (session.LoopSync.compare_exchange_strong(replaced, made)) {
            return;
        }
        remove(channel, made);
    }
}

// Removes LoopSync from PlayChannel and sets a mix-time end-of-source sync in its place (UI).
void SetLoopSyncAtEnd(PlayerSession& session);
// Removes LoopSync from PlayChannel and sets a mix-time position sync at LoopEnd (UI).
void SetLoopSyncAtLoopEnd(PlayerSession& session);

}  // namespace tarvel
