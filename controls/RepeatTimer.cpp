#include "controls/RepeatTimer.h"

namespace tarvel::controls {

QtRepeatTimer::QtRepeatTimer() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (OnTimeout) {
            OnTimeout();
        }
    });
}

}  // namespace tarvel::controls
