#include "audio/SdlOutput.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tarvel::audio {

namespace {
// The device buffer may hold at most this much audio, so that position and level stay current.
constexpr double kMaxBufferSeconds = 0.040;
constexpr int kStereo = 2;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
constexpr const char* kFileDriver = "disk";

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Largest power of two not above the limit (SDL wants powers of two).
std::uint32_t BufferFramesFor(std::uint32_t rate) {
    const auto limit = static_cast<std::uint32_t>(rate * kMaxBufferSeconds);
    std::uint32_t frames = 1;
    while (frames * 2 <= limit && frames * 2 <= 0x8000u) {
        frames *= 2;
    }
    return frames;
}
}  // namespace

std::uint32_t SdlOutput::OpenDevice(std::uint32_t rate, std::uint32_t frames, void* self,
                                    std::uint32_t* gotFrames) {
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = kStereo;
    want.samples = static_cast<Uint16>(frames);
    want.callback = &SdlOutput::Callback;
    want.userdata = self;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device != 0 && gotFrames) {
        *gotFrames = have.samples;
    }
    return device;
}

std::unique_ptr<SdlOutput> SdlOutput::Open(std::uint32_t rate) {
    // SDL would otherwise catch SIGINT and SIGTERM for an event queue nobody reads, and the
    // program could then not be ended by a plain kill.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return nullptr;
    }
    // The first opening tells whether there is a device at all, and its buffer size, which the
    // mixer's buffers are made for. The callback finds nothing to play until the output exists.
    const std::uint32_t wanted = BufferFramesFor(rate);
    std::uint32_t frames = wanted;
    const SDL_AudioDeviceID probe = OpenDevice(rate, wanted, nullptr, &frames);
    if (probe == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_CloseAudioDevice(probe);
    const char* driver = SDL_GetCurrentAudioDriver();
    auto mixer =
        std::make_shared<Mixer>(rate, static_cast<std::size_t>(std::lround(rate * kAheadSeconds)),
                                std::max(frames, wanted));
    auto out =
        std::make_unique<SdlOutput>(mixer, rate, std::max(frames, wanted), 0, driver ? driver : "");
    if (!out->resume()) {
        return nullptr;
    }
    // Started last: the render thread finds the device running and suspends it once it has
    // been quiet for a while.
    out->render_ = std::make_unique<RenderThread>(out->mixer(), *out);
    return out;
}

SdlOutput::SdlOutput(std::shared_ptr<Mixer> mixer, std::uint32_t rate, std::uint32_t bufferFrames,
                     std::uint32_t device, std::string driver)
    : Output(std::move(mixer)),
      rate_(rate),
      driver_(std::move(driver)),
      device_(device),
      bufferFrames_(bufferFrames) {}

SdlOutput::~SdlOutput() {
    render_.reset();
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // waits for a running callback
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlOutput::resume() {
    if (running_.load()) {
        return true;
    }
    if (device_ == 0) {
        std::uint32_t frames = bufferFrames_.load();
        device_ = OpenDevice(rate_, frames, this, &frames);
        if (device_ == 0) {
            return false;
        }
        bufferFrames_ = frames;
    }
    called_ = false;
    mixer().stats().restarted();
    running_ = true;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlOutput::suspend() {
    if (!running_.load() || device_ == 0) {
        return;
    }
    if (driver_ == kFileDriver) {
        SDL_PauseAudioDevice(device_, 1);
    } else {
        SDL_CloseAudioDevice(device_);  // waits for a running callback
        device_ = 0;
    }
    running_ = false;
}

void SdlOutput::raiseRenderPriority() {
    // One step below the device's own thread, which SDL runs at the highest priority it can get
    // (a nice value, or a real-time grant from the desktop's RealtimeKit). Refused without the
    // right to it; the thread then runs at the usual priority, and the ring still covers half a
    // second of being held up.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
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
    if (!running_.load() || !called_.load()) {
        return mixer().mixedFrames();  // nothing in flight
    }
    // While the callback fills buffer k the device plays buffer k-1, which began about when
    // the callback was called.
    const std::uint64_t start = callbackFrame_.load();
    const std::uint64_t buffer = bufferFrames_.load();
    const std::int64_t elapsedNs = std::max<std::int64_t>(0, NowNs() - callbackTimeNs_.load());
    const std::uint64_t playing = start > buffer ? start - buffer : 0;
    const auto advanced = static_cast<std::uint64_t>(
        elapsedNs * static_cast<std::int64_t>(mixer().rate()) / kNanosPerSecond);
    return std::min(start, playing + advanced);
}

}  // namespace tarvel::audio
