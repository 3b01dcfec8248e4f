// The volume slider TrackBar1: 0..100, page step 10, arrow keys move nothing; every movement
// applies the volume to PlayChannel. UI thread only.
#pragma once

#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr int kVolumeMin = 0;
inline constexpr int kVolumeMax = 100;
inline constexpr int kVolumeStart = 50;
inline constexpr int kVolumePage = 10;
inline constexpr int kVolumeLine = 0;
// Applies `volume` to `channel`, keeping rate and pan.
void ApplyVolume(DWORD channel, int volume);

// The slider moved to `position`: applies it and stores it for threads that build a channel.
void TrackBar1Change(PlayerSession& session, int position);

}  // namespace tarvel
