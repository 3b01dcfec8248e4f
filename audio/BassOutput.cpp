// The library and playback: version, device, play and stop.
#include "audio/Engine.h"
#include "audio/SdlOutput.h"
#include "audio/bass.h"

using tarvel::audio::Engine;
using tarvel::audio::LockedChannel;

namespace {
constexpr int kDefaultDevice = -1;
constexpr int kFirstDevice = 1;
constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 192000;
}  // namespace

DWORD BASS_GetVersion() {
    return BASS_VERSION_REPORTED;
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid) {
    (void)flags;
    (void)win;
    (void)dsguid;
    if ((device != kDefaultDevice && device != kFirstDevice) || freq < kMinRate ||
        freq > kMaxRate || Engine::instance().output()) {
        return 0;
    }
    auto output = tarvel::audio::SdlOutput::Open(freq);
    return output && Engine::instance().openOutput(std::move(output)) ? 1 : 0;
}

BOOL BASS_SetConfig(DWORD option, DWORD value) {
    (void)value;
    return option == BASS_CONFIG_PLAYER ? 1 : 0;
}

BOOL BASS_Free() {
    Engine& engine = Engine::instance();
    if (!engine.output()) {
        return 0;
    }
    engine.closeOutput();
    engine.freeAll();
    return 1;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    const auto output = Engine::instance().output();
    LockedChannel channel(handle);
    if (!channel || !output || channel->decodeOnly()) {
        return 0;
    }
    if (restart) {
        if (!channel->inSyncCallback()) {
            output->mixer().beforeJump(*channel);
        }
        if (!channel->seek(0)) {
            return 0;
        }
        if (!channel->inSyncCallback()) {
            output->mixer().restart(*channel);
        }
    }
    if (!channel->inSyncCallback()) {
        channel->cancelPendingStop();
    }
    if (!channel->playing.load()) {
        return output->mixer().play(channel.shared()) ? 1 : 0;
    }
    return 1;
}

BOOL BASS_ChannelStop(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel || channel->decodeOnly()) {
        return 0;
    }
    if (channel->inSyncCallback()) {
        // Rendering is inside this channel's read: the audio up to the sync still goes out.
        channel->requestStopFromSync();
    } else if (const auto output = Engine::instance().output()) {
        output->mixer().stop(*channel);
    } else {
        channel->playing = false;
        channel->cancelPendingStop();
    }
    return 1;
}
