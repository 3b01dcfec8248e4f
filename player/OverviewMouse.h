// Mouse on the overview PB: a left press sets the start mark, a right press the end mark, and the
// mark follows the pointer while its button is held. UI thread only.
#pragma once

#include <Qt>
#include <cstdint>

#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr int kDragNone = 0;
inline constexpr int kDragStart = 1;
inline constexpr int kDragEnd = 2;

void PBMouseDown(PlayerSession& session, Qt::MouseButton button, int x);
void PBMouseMove(PlayerSession& session, int x);
void PBMouseUp(PlayerSession& session);

// X x BytesPerPixel as an unsigned 64-bit product: a negative X (a drag that left the overview to
// the left) becomes a huge value that the marks' length test rejects; a drag far to the right
// stays beyond the source instead of wrapping back into it. Before the first scan
// (BytesPerPixel 0) every X gives position 0.
QWORD PixelToPosition(int x, QWORD bytesPerPixel);

}  // namespace tarvel
