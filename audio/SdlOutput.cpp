#include "audio/SdlOutput.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>

namespace tarvel::audio {

namespace {
// The device buffer may hold at most this much audio, so that position and level stay current.
constexpr double kMaxBufferSeconds = 0.040;
constexpr int kStereo = 2;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Largest power of two not above the limit (SDL wants powers of two).
std::uint16_t BufferFramesFor(std::uint32_t rate) {
    const auto limit = static_cast<std::uint32_t>(rate * kMaxBufferSeconds);
    std::uint32_t frames = 1;
    while (frames * 2 <= limit && frames * 2 <= 0x8000u) {
        frames *= 2;
    }
    return static_cast<std::uint16_t>(frames);
}
}  // namespace

std::unique_ptr<SdlOutput> SdlOutput::Open(std::uint32_t rate) {
    // SDL would otherwise catch SIGINT and SIGTERM for an event queue nobody reads, and the
    // program could then not be ended by a plain kill.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return nullptr;
    }
    auto mixer = std::make_shared<Mixer>(rate);
    // The callback needs the object's address before the device exists: open paused, then start.
    auto out = std::make_unique<SdlOutput>(mixer, BufferFramesFor(rate));
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = kStereo;
    want.samples = static_cast<Uint16>(out->bufferFrames_);
    want.callback = &SdlOutput::Callback;
    want.userdata = out.get();
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    out->device_ = device;
    SDL_PauseAudioDevice(device, 0);
    return out;
}

SdlOutput::SdlOutput(std::shared_ptr<Mixer> mixer, std::uint32_t bufferFrames)
    : Output(std::move(mixer)), bufferFrames_(bufferFrames) {}

SdlOutput::~SdlOutput() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // waits for a running callback
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void SdlOutput::Callback(void* self, std::uint8_t* stream, int bytes) {
    auto* me = static_cast<SdlOutput*>(self);
    const auto frames = static_cast<std::size_t>(bytes) / (kStereo * sizeof(std::int16_t));
    me->callbackFrame_.store(me->mixer().mixedFrames());
    me->callbackTimeNs_.store(NowNs());
    me->called_.store(true);
    me->mixer().mix(reinterpret_cast<std::int16_t*>(stream), frames);
}

std::uint64_t SdlOutput::heardFrame() const {
    if (!called_.load()) {
        return 0;
    }
    // While the callback fills buffer k the device plays buffer k-1, which began about when
    // the callback was called.
    const std::uint64_t start = callbackFrame_.load();
    const std::int64_t elapsedNs = std::max<std::int64_t>(0, NowNs() - callbackTimeNs_.load());
    const std::uint64_t playing = start > bufferFrames_ ? start - bufferFrames_ : 0;
    const auto advanced = static_cast<std::uint64_t>(
        elapsedNs * static_cast<std::int64_t>(mixer().rate()) / kNanosPerSecond);
    return std::min(start, playing + advanced);
}

}  // namespace tarvel::audio
