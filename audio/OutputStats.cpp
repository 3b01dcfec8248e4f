#include "audio/OutputStats.h"

#include "audio/Engine.h"
#include "audio/SdlOutput.h"

namespace tarvel::audio {

CallbackFigures OutputCallbackFigures() {
    const auto out = Engine::instance().output();
    return out ? out->mixer().stats().figures() : CallbackFigures{};
}

void ResetOutputCallbackFigures() {
    if (const auto out = Engine::instance().output()) {
        out->mixer().stats().reset();
    }
}

bool OutputDeviceRunning() {
    const auto out = Engine::instance().output();
    return out && !out->isCapture() && static_cast<const SdlOutput&>(*out).running();
}

}  // namespace tarvel::audio
