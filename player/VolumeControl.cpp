#include "player/VolumeControl.h"

#include <QSlider>

namespace tarvel {

void ConfigureTrackBar1(QSlider& TrackBar1) {
    TrackBar1.setOrientation(Qt::Horizontal);
    TrackBar1.setRange(kVolumeMin, kVolumeMax);
    TrackBar1.setPageStep(kVolumePage);
    TrackBar1.setSingleStep(kVolumeLine);
    TrackBar1.setTickPosition(QSlider::NoTicks);
    TrackBar1.setValue(kVolumeStart);
}

void ApplyVolume(DWORD channel, int volume) {
    BASS_ChannelSetAttributes(channel, kKeepRate, volume, kKeepPan);
}

void TrackBar1Change(PlayerSession& session, const QSlider& TrackBar1) {
    const int volume = TrackBar1.value();
    session.Volume.store(volume);
    ApplyVolume(session.PlayChannel.load(), volume);
}

}  // namespace tarvel
