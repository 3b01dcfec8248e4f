// What the transport buttons show: a caption and the index of a glyph. The transport sets them
// on a click, the refresh tick puts the idle face back when playback ends on its own.
#pragma once

namespace tarvel {

// Faces of the buttons: caption and glyph index.
struct ButtonFace {
    const char* caption;
    int glyph;
};
inline constexpr ButtonFace kFaceIdle{"PLAY / PAUSE", 0};
inline constexpr ButtonFace kFacePaused{"PLAY", 1};
inline constexpr ButtonFace kFacePlaying{"PAUSE", 2};
inline constexpr ButtonFace kFaceStop{"STOP", 3};
inline constexpr ButtonFace kFaceRepeat{"REPEAT PLAY", 4};
inline constexpr ButtonFace kFaceSingle{"SINGLE PLAY", 5};
inline constexpr ButtonFace kFaceLoad{"LOAD", 6};

}  // namespace tarvel
