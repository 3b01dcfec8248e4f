// Rubber Band's R3 engine as a stretch engine: the one above normal speed, where a
// time-domain stretcher skips most of the input and with it consonants and attacks; a phase
// vocoder that locks onto transients keeps them.
//
// Real-time mode (it takes input as it comes, and its speed can change on the way), channels
// stretched together so the stereo image stays. The stream is primed with the engine's own start
// pad and its start delay is dropped from the output, so that output frame k stands for input
// frame k x speed from the first frame on.
//
// Two windows: the standard one up to 250 %; the short one above, where it costs a third of
// the CPU (the standard one takes a fifth of a core at 400 %) and keeps every click at least a
// sixteenth of its height, where the standard one loses a fifth of them. At 150-200 % the short
// one doubles a third of the clicks.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "audio/StretchEngine.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace tarvel::audio {

class RubberBandEngine final : public StretchEngine {
  public:
    enum class Window { Standard, Short };
    RubberBandEngine(std::uint32_t rate, std::uint32_t channels, Window window);
    ~RubberBandEngine() override;
    RubberBandEngine(const RubberBandEngine&) = delete;
    RubberBandEngine& operator=(const RubberBandEngine&) = delete;

    void setSpeed(double speed) override;
    bool setOption(int id, int value) override;
    void put(const float* in, std::size_t frames) override;
    std::size_t receive(float* out, std::size_t frames) override;
    std::size_t readyFrames() const override;
    void clear() override;
    double sourceLeadFrames(double, std::uint32_t) const override { return 0.0; }

  private:
    void process(const float* in, std::size_t frames);
    // Output frames the engine has; the start delay still to drop is counted in.
    std::size_t available() const;
    void dropStartDelay();

    const std::uint32_t channels_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::vector<std::vector<float>> planes_;  // one channel each, kBlockFrames long
    std::vector<float*> pointers_;
    bool primed_ = false;
    std::size_t toDrop_ = 0;
};

}  // namespace tarvel::audio
