// SoundTouch as a stretch engine: the one for normal speed and slower, where its time-domain
// overlap keeps speech closest to the source.
#pragma once

#include <memory>

#include "audio/StretchEngine.h"

namespace soundtouch {
class SoundTouch;
}

namespace tarvel::audio {

class SoundTouchEngine final : public StretchEngine {
  public:
    SoundTouchEngine(std::uint32_t rate, std::uint32_t channels);
    ~SoundTouchEngine() override;
    SoundTouchEngine(const SoundTouchEngine&) = delete;
    SoundTouchEngine& operator=(const SoundTouchEngine&) = delete;

    // Its output's lead for sequences of 32 ms and seek windows of 20 ms (the player's).
    static double LeadFrames(double speed, std::uint32_t rate);

    void setSpeed(double speed) override;
    bool setOption(int id, int value) override;
    void put(const float* in, std::size_t frames) override;
    std::size_t receive(float* out, std::size_t frames) override;
    std::size_t readyFrames() const override;
    void clear() override;
    double sourceLeadFrames(double speed, std::uint32_t rate) const override {
        return LeadFrames(speed, rate);
    }

  private:
    std::unique_ptr<soundtouch::SoundTouch> touch_;
};

}  // namespace tarvel::audio
