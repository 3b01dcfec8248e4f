#include "player/OverviewMouse.h"

#include "player/LoopRegion.h"

namespace tarvel {

QWORD PixelToPosition(int x, QWORD bytesPerPixel) {
    // Unsigned arithmetic modulo 2^64: X is sign-extended first, so a negative X gives
    // 2^64 - |X| x BytesPerPixel, far beyond any source.
    return static_cast<QWORD>(std::int64_t{x}) * bytesPerPixel;
}

namespace {

void FollowPointer(PlayerSession& session, int x) {
    const QWORD position = PixelToPosition(x, session.BytesPerPixel.load());
    if (session.DragMode == kDragStart) {
        SetLoopStart(session, position);
    } else if (session.DragMode == kDragEnd) {
        SetLoopEnd(session, position);
    }
}

}  // namespace

void PBMouseDown(PlayerSession& session, Qt::MouseButton button, int x) {
    if (button == Qt::LeftButton) {
        session.DragMode = kDragStart;
    } else if (button == Qt::RightButton) {
        session.DragMode = kDragEnd;
    } else {
        return;
    }
    FollowPointer(session, x);
}

void PBMouseMove(PlayerSession& session, int x) {
    FollowPointer(session, x);
}

void PBMouseUp(PlayerSession& session) {
    session.DragMode = kDragNone;
}

}  // namespace tarvel
