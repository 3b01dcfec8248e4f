#include "player/OverviewMouse.h"

#include "player/LoopRegion.h"

namespace tarvel {

QWORD PixelToPosition(int x, std::uint32_t bytesPerPixel) {
    return QWORD{static_cast<std::uint32_t>(x) * bytesPerPixel};
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
