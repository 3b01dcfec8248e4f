// The volume slider TrackBar1: 0..100, page step 10, arrow keys move nothing; every movement
// applies the volume to PlayChannel. UI thread only.
#pragma once

#include "player/PlayerSession.h"

class QSlider;

namespace tarvel {

inline constexpr int kVolumeMin = 0;
inline constexpr int kVolumeMax = 100;
inline constexpr int kVolumeStart = 50;
inline constexpr int kVolumePage = 10;
inline constexpr int kVolumeLine = 0;
// Attribute arguments that leave the rate and the pan as they are.
inline constexpr int kKeepRate = -1;
inline constexpr int kKeepPan = -101;

// Sets the slider's fixed properties and its start position.
void ConfigureTrackBar1(QSlider& TrackBar1);

// Applies `volume` to `channel`, keeping rate and pan.
void ApplyVolume(DWORD channel, int volume);

// The slider moved: applies its position and stores it for threads that build a channel.
void TrackBar1Change(PlayerSession& session, const QSlider& TrackBar1);

}  // namespace tarvel
