#include "player/LoopSync.h"

#include "player/Seek.h"

namespace tarvel {

void LoopSyncProc(HSYNC /*handle*/, DWORD channel, DWORD /*data*/, void* user) {
    auto* session = static_cast<PlayerSession*>(user);
    if (session == nullptr || session->Closing.load()) {
        return;
    }
    if (!session->RepeatMode.load()) {
        session->Playing.store(false);
        BASS_ChannelStop(channel);
        return;
    }
    SeekOrZero(channel, session->LoopStart.load());
}

namespace {

void ReplaceLoopSync(PlayerSession& session, DWORD type, QWORD param) {
    const HSTREAM channel = session.PlayChannel.load();
    BASS_ChannelRemoveSync(channel, session.LoopSync.load());
    session.LoopSync.store(BASS_ChannelSetSync(channel, type, param, &LoopSyncProc, &session));
}

}  // namespace

void SetLoopSyncAtEnd(PlayerSession& session) {
    ReplaceLoopSync(session, kLoopSyncAtEnd, 0);
}

void SetLoopSyncAtLoopEnd(PlayerSession& session) {
    ReplaceLoopSync(session, kLoopSyncAtPosition, session.LoopEnd.load());
}

}  // namespace tarvel
