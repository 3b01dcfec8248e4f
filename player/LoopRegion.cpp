#include "player/LoopRegion.h"

#include "player/LoopSync.h"
#include "player/Seek.h"

namespace tarvel {

namespace {

// True when `position` lies inside the channel; a channel whose length cannot be read (none
// loaded) accepts no position at all.
bool WithinSource(DWORD channel, QWORD position) {
    const QWORD length = BASS_ChannelGetLength(channel);
    return length != BASS_ERROR_QWORD && position < length;
}

bool PositionBeyond(DWORD channel, QWORD mark) {
    const QWORD position = BASS_ChannelGetPosition(channel);
    return position != BASS_ERROR_QWORD && position > mark;
}

}  // namespace

void SetLoopStart(PlayerSession& session, QWORD position) {
    const HSTREAM channel = session.PlayChannel.load();
    if (position == session.LoopEnd.load()) {
        // With the end mark at 0 this wraps to a huge value that the length test rejects, so the
        // start can never land beyond the end.
        position -= session.BytesPerPixel.load();
    }
    if (!WithinSource(channel, position)) {
        return;
    }
    session.LoopStart.store(position);
    SeekOrZero(channel, session.LoopStart.load());
    if (session.LoopEnd.load() >= session.LoopStart.load()) {
        return;
    }
    session.LoopEnd.store(LengthOrZero(channel));
    SetLoopSyncAtLoopEnd(session);
    if (PositionBeyond(channel, session.LoopEnd.load())) {
        SeekOrZero(channel, session.LoopStart.load());
    }
}

void SetLoopEnd(PlayerSession& session, QWORD position) {
    const HSTREAM channel = session.PlayChannel.load();
    if (position == session.LoopStart.load()) {
        position += session.BytesPerPixel.load();
    }
    if (!WithinSource(channel, position)) {
        return;
    }
    session.LoopEnd.store(position);
    SetLoopSyncAtLoopEnd(session);
    if (PositionBeyond(channel, session.LoopEnd.load())) {
        // Back to the start as it stood before this move.
        SeekOrZero(channel, session.LoopStart.load());
    }
    if (session.LoopEnd.load() >= session.LoopStart.load()) {
        return;
    }
    session.LoopStart.store(0);
}

}  // namespace tarvel
