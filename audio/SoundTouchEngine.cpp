#include "audio/SoundTouchEngine.h"

#include <soundtouch/SoundTouch.h>

#include <iterator>

namespace tarvel::audio {

namespace {
// Each sequence of the stretcher starts at the best-matching point within its seek window, so
// its output runs ahead of or behind the nominal speed x output count by an amount that depends
// on the speed. Measured means for sequences of 32 ms and seek windows of 20 ms, in ms of source
// (positive: ahead), averaged over noise and tonal material; linear between the points.
struct LeadPoint {
    double speed;
    double ms;
};
constexpr LeadPoint kLead[] = {{0.5, 9.07},  {0.75, 4.94}, {1.25, -6.30}, {1.5, -8.46},
                               {2.0, -16.1}, {3.0, -31.0}, {4.0, -46.7}};
constexpr double kMsPerSecond = 1000.0;
}  // namespace

double SoundTouchEngine::LeadFrames(double speed, std::uint32_t rate) {
    constexpr std::size_t n = std::size(kLead);
    std::size_t i = 1;
    while (i + 1 < n && speed > kLead[i].speed) {
        ++i;
    }
    const LeadPoint& a = kLead[i - 1];
    const LeadPoint& b = kLead[i];
    const double ms = a.ms + (b.ms - a.ms) * (speed - a.speed) / (b.speed - a.speed);
    return ms * rate / kMsPerSecond;
}

SoundTouchEngine::SoundTouchEngine(std::uint32_t rate, std::uint32_t channels)
    : touch_(std::make_unique<soundtouch::SoundTouch>()) {
    touch_->setSampleRate(rate);
    touch_->setChannels(channels);
    touch_->setTempo(1.0);
}

SoundTouchEngine::~SoundTouchEngine() = default;

void SoundTouchEngine::setSpeed(double speed) {
    touch_->setTempo(speed);
}

bool SoundTouchEngine::setOption(int id, int value) {
    return touch_->setSetting(id, value);
}

void SoundTouchEngine::put(const float* in, std::size_t frames) {
    touch_->putSamples(in, static_cast<uint>(frames));
}

std::size_t SoundTouchEngine::receive(float* out, std::size_t frames) {
    return touch_->receiveSamples(out, static_cast<uint>(frames));
}

std::size_t SoundTouchEngine::readyFrames() const {
    return touch_->numSamples();
}

void SoundTouchEngine::clear() {
    touch_->clear();
}

}  // namespace tarvel::audio
