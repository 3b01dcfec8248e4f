#include "audio/RubberBandEngine.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>

namespace tarvel::audio {

namespace {
constexpr std::size_t kBlockFrames = 1024;
// The tempo stream's settings that tune a time-domain stretcher (use the anti-alias filter,
// its length, quick seek, sequence, seek window, overlap): known, and not needed here.
constexpr int kLastKnownOption = 5;

using RubberBand::RubberBandStretcher;
RubberBandStretcher::Options OptionsFor(RubberBandEngine::Window window) {
    return RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
           RubberBandStretcher::OptionChannelsTogether |
           (window == RubberBandEngine::Window::Short ? RubberBandStretcher::OptionWindowShort
                                                      : RubberBandStretcher::OptionWindowStandard);
}

// The stretcher reports odd input (a rate under the 8 kHz it is built for, which it then treats
// as 8 kHz) on standard error unless given somewhere else to say it; a hostile file's header
// should not reach the terminal.
struct Quiet final : RubberBandStretcher::Logger {
    void log(const char*) override {}
    void log(const char*, double) override {}
    void log(const char*, double, double) override {}
};
}  // namespace

RubberBandEngine::RubberBandEngine(std::uint32_t rate, std::uint32_t channels, Window window)
    : channels_(channels),
      stretcher_(std::make_unique<RubberBandStretcher>(rate, channels, std::make_shared<Quiet>(),
                                                       OptionsFor(window))),
      planes_(channels, std::vector<float>(kBlockFrames)),
      pointers_(channels) {
    stretcher_->setMaxProcessSize(kBlockFrames);
    for (std::uint32_t c = 0; c < channels_; ++c) {
        pointers_[c] = planes_[c].data();
    }
}

RubberBandEngine::~RubberBandEngine() = default;

void RubberBandEngine::setSpeed(double speed) {
    stretcher_->setTimeRatio(1.0 / speed);
}

bool RubberBandEngine::setOption(int id, int value) {
    (void)value;
    return id >= 0 && id <= kLastKnownOption;
}

void RubberBandEngine::process(const float* in, std::size_t frames) {
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kBlockFrames, frames - done);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            float* plane = planes_[c].data();
            if (in) {
                const float* src = in + done * channels_ + c;
                for (std::size_t i = 0; i < n; ++i) {
                    plane[i] = src[i * channels_];
                }
            } else {
                std::fill_n(plane, n, 0.0f);
            }
        }
        stretcher_->process(pointers_.data(), n, false);
        done += n;
    }
}

void RubberBandEngine::put(const float* in, std::size_t frames) {
    if (!primed_) {
        // The ratio in force now sets the pad and the delay; a later change only drifts.
        primed_ = true;
        process(nullptr, stretcher_->getPreferredStartPad());
        toDrop_ = stretcher_->getStartDelay();
    }
    process(in, frames);
    dropStartDelay();
}

void RubberBandEngine::dropStartDelay() {
    while (toDrop_ > 0) {
        const int ready = stretcher_->available();
        if (ready <= 0) {
            return;
        }
        const std::size_t n = std::min({toDrop_, kBlockFrames, static_cast<std::size_t>(ready)});
        stretcher_->retrieve(pointers_.data(), n);
        toDrop_ -= n;
    }
}

std::size_t RubberBandEngine::available() const {
    const int ready = stretcher_->available();
    return ready > 0 ? static_cast<std::size_t>(ready) : 0;
}

std::size_t RubberBandEngine::readyFrames() const {
    const std::size_t ready = available();
    return ready > toDrop_ ? ready - toDrop_ : 0;
}

std::size_t RubberBandEngine::receive(float* out, std::size_t frames) {
    dropStartDelay();
    if (toDrop_ > 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min({frames - done, kBlockFrames, available()});
        if (n == 0) {
            break;
        }
        const std::size_t got = stretcher_->retrieve(pointers_.data(), n);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            const float* plane = planes_[c].data();
            float* dst = out + done * channels_ + c;
            for (std::size_t i = 0; i < got; ++i) {
                dst[i * channels_] = plane[i];
            }
        }
        done += got;
        if (got < n) {
            break;
        }
    }
    return done;
}

void RubberBandEngine::clear() {
    stretcher_->reset();
    primed_ = false;
    toDrop_ = 0;
}

}  // namespace tarvel::audio
