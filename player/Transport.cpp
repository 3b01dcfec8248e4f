#include "player/Transport.h"

#include "player/LoopSync.h"
#include "player/Seek.h"
#include "player/SpeedControl.h"

namespace tarvel {

Transport::Transport(PlayerSession& session, FaceButton& FramSpeedBtn1, FaceButton& FramSpeedBtn3,
                     SpeedBox& SpinEdit1, SpeedControl& speed)
    : session_(session),
      FramSpeedBtn1_(FramSpeedBtn1),
      FramSpeedBtn3_(FramSpeedBtn3),
      SpinEdit1_(SpinEdit1),
      speed_(speed) {}

void Transport::FramSpeedBtn1Click() {
    const HSTREAM channel = session_.PlayChannel.load();
    if (channel == 0) {
        return;
    }
    if (BASS_ChannelIsActive(channel) != BASS_ACTIVE_STOPPED) {
        session_.Paused.store(true);
        FramSpeedBtn1_.ShowFace(kFacePaused);
        BASS_ChannelStop(channel);  // the engine keeps the position for the resume
        return;
    }
    session_.Playing.store(true);
    FramSpeedBtn1_.ShowFace(kFacePlaying);
    if (!session_.Paused.load()) {
        // A refused seek is ignored here: playback then starts wherever the channel stands.
        BASS_ChannelSetPosition(channel, session_.LoopStart.load());
    }
    session_.Paused.store(false);
    BASS_ChannelPlay(channel, 0);
    speed_.SpinEdit1Change();
}

void Transport::FramSpeedBtn2Click() {
    session_.Paused.store(false);
    session_.Playing.store(false);
    BASS_ChannelStop(session_.PlayChannel.load());
}

void Transport::FramSpeedBtn3Click() {
    const bool repeat = !session_.RepeatMode.load();
    session_.RepeatMode.store(repeat);
    FramSpeedBtn3_.ShowFace(repeat ? kFaceRepeat : kFaceSingle);
}

void Transport::FramSpeedBtn6Click() {
    const HSTREAM channel = session_.PlayChannel.load();
    session_.Paused.store(false);
    session_.Playing.store(false);
    BASS_ChannelStop(channel);
    session_.LoopStart.store(0);
    session_.LoopEnd.store(LengthOrZero(channel));
    SpinEdit1_.SetValue(kSpeedNormal);  // runs SpinEdit1Change only if the text was not "100"
    SeekOrZero(channel, session_.LoopStart.load());
    SetLoopSyncAtEnd(session_);
}

}  // namespace tarvel
