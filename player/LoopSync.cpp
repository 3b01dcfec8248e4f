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

void ReplaceWithSync(PlayerSession& session, DWORD type, bool atLoopEnd) {
    ReplaceLoopSync(
        session, [](HSTREAM channel, HSYNC sync) { BASS_ChannelRemoveSync(channel, sync); },
        [&](HSTREAM channel) {
            const QWORD param = atLoopEnd ? QWORD{session.LoopEnd.load()} : 0;
            return BASS_ChannelSetSync(channel, type, param, &LoopSyncProc, &session);
        });
}

}  // namespace

void SetLoopSyncAtEnd(PlayerSession& session) {
    ReplaceWithSync(session, kLoopSyncAtEnd, false);
}

void SetLoopSyncAtLoopEnd(PlayerSession& session) {
    ReplaceWithSync(session, kLoopSyncAtPosition, true);
}

}  // namespace tarvel
