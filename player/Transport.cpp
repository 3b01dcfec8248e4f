#include "player/Transport.h"

#include "controls/FramBtn.h"
#include "controls/SpinEdit.h"
#include "player/LoopSync.h"
#include "player/Seek.h"
#include "player/SpeedControl.h"
#include "resources/Images.h"

namespace tarvel {

void ShowFace(controls::TFramSpeedBtn& button, ButtonFace face) {
    button.SetCaption(QString::fromUtf8(face.caption));
    button.SetGlyph(resources::Glyph(face.glyph));
}

Transport::Transport(PlayerSession& session, controls::TFramSpeedBtn& FramSpeedBtn1,
                     controls::TFramSpeedBtn& FramSpeedBtn3, controls::TSpinEdit& SpinEdit1,
                     SpeedControl& speed)
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
        ShowFace(FramSpeedBtn1_, kFacePaused);
        BASS_ChannelStop(channel);  // the engine keeps the position for the resume
        return;
    }
    session_.Playing.store(true);
    ShowFace(FramSpeedBtn1_, kFacePlaying);
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
    ShowFace(FramSpeedBtn3_, repeat ? kFaceRepeat : kFaceSingle);
}

void Transport::FramSpeedBtn6Click() {
    const HSTREAM channel = session_.PlayChannel.load();
    session_.Paused.store(false);
    session_.Playing.store(false);
    BASS_ChannelStop(channel);
    session_.LoopStart.store(0);
    session_.LoopEnd.store(LengthLow32(channel));
    SpinEdit1_.SetValue(kSpeedNormal);  // runs SpinEdit1Change only if the text was not "100"
    SeekOrZero(channel, session_.LoopStart.load());
    SetLoopSyncAtEnd(session_);
}

}  // namespace tarvel
