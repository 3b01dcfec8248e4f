// Mouse on the overview PB: a left press sets the start mark, a right press the end mark, and the
// mark follows the pointer while its button is held. UI thread only.
#pragma once

#include <Qt>

#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr int kDragNone = 0;
inline constexpr int kDragStart = 1;
inline constexpr int kDragEnd = 2;

void PBMouseDown(PlayerSession& session, Qt::MouseButton button, int x);
void PBMouseMove(PlayerSession& session, int x);
void PBMouseUp(PlayerSession& session);

// X x BytesPerPixel as the 32-bit product the marks are kept in: a negative X (a drag that left
// the overview to the left) becomes a huge value that the marks' length test rejects.
QWORD PixelToPosition(int x, std::uint32_t bytesPerPixel);

}  // namespace tarvel
