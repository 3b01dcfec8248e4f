// The two loop marks and the operations that move them. Invariant kept here:
// LoopStart <= LoopEnd <= length of PlayChannel. UI thread only.
#pragma once

#include "audio/bass.h"
#include "player/PlayerSession.h"

namespace tarvel {

// Moves the start mark to `position` (PlayChannel bytes) and the play position with it. A position
// on the end mark is taken one pixel to its left; a position at or beyond the length is ignored;
// a start past the end pushes the end to the end of the source.
void SetLoopStart(PlayerSession& session, QWORD position);

// Moves the end mark to `position`. A position on the start mark is taken one pixel to its right;
// a position at or beyond the length is ignored; an end before the start pulls the start to 0.
void SetLoopEnd(PlayerSession& session, QWORD position);

}  // namespace tarvel
