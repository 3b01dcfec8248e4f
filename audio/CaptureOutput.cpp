#include "audio/CaptureOutput.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/Engine.h"
#include "audio/WavWriter.h"

namespace tarvel::audio {

namespace {
constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 192000;
constexpr std::size_t kWavBlockFrames = 4096;
constexpr std::uint16_t kStereo = 2;
// Frames rendered and mixed at a time. Beyond what is asked for, only a fade's length is rendered
// ahead: the mix must know where the audio ends before it reaches the end's fade-out.
constexpr std::size_t kRenderBlockFrames = 4096;
}  // namespace

CaptureOutput::CaptureOutput(std::uint32_t rate)
    : Output(std::make_shared<Mixer>(rate, 0, kRenderBlockFrames)) {}

BOOL InitCapture(DWORD freq) {
    if (freq < kMinRate || freq > kMaxRate) {
        return 0;
    }
    return Engine::instance().openOutput(std::make_unique<CaptureOutput>(freq)) ? 1 : 0;
}

std::size_t CaptureRender(std::int16_t* out, std::size_t frames) {
    const auto output = Engine::instance().output();
    if (!output || !output->isCapture() || !out) {
        return 0;
    }
    Mixer& mixer = output->mixer();
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kRenderBlockFrames, frames - done);
        mixer.renderFor(n + mixer.rampFrames());
        mixer.mix(out + done * kStereo, n);
        done += n;
    }
    return frames;
}

bool CaptureRenderToWav(const std::string& path, std::size_t frames) {
    const auto output = Engine::instance().output();
    if (!output || !output->isCapture()) {
        return false;
    }
    WavWriter wav(path, output->mixer().rate(), kStereo);
    std::vector<std::int16_t> block(kWavBlockFrames * kStereo);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kWavBlockFrames, frames - done);
        CaptureRender(block.data(), n);
        if (!wav.write(block.data(), n)) {
            return false;
        }
        done += n;
    }
    return wav.close();
}

}  // namespace tarvel::audio
