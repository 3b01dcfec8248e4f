// Converts one playing channel's stereo frames from its own rate to the device's (libsoxr),
// pulling its input as it needs it. A source that has nothing for the moment (a stalled CD)
// leaves the conversion where it is; only the source's end flushes the converter's tail.
//
// Part of a voice: used by the render step with the channel's lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct soxr;

namespace tarvel::audio {

class RateConverter {
  public:
    // What a pull gave: up to the frames asked for, and whether the source has ended (fewer
    // frames without the end: nothing for the moment).
    struct Pulled {
        std::size_t frames = 0;
        bool ended = false;
    };
    using Pull = std::function<Pulled(std::int16_t* out, std::size_t frames)>;

    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Up to `frames` stereo frames at `outRate` from input at `inRate`; fewer when the input has
    // nothing for the moment or has ended (then ended() is true once the tail is out). Creates
    // the converter on first use.
    std::size_t produce(std::uint32_t inRate, std::uint32_t outRate, std::int16_t* out,
                        std::size_t frames, const Pull& pull);
    bool ended() const { return ended_; }
    // Forgets buffered input (after a seek that starts afresh, or a new play).
    void reset();

  private:
    bool prepare(std::uint32_t inRate, std::uint32_t outRate);

    soxr* soxr_ = nullptr;
    std::uint32_t inRate_ = 0;
    std::uint32_t outRate_ = 0;
    std::vector<std::int16_t> input_;
    std::size_t inputAt_ = 0;    // first frame of input_ not yet given to the converter
    std::size_t inputLeft_ = 0;  // frames of input_ not yet given
    bool flushing_ = false;      // the source ended: the converter's tail comes out
    bool ended_ = false;
};

}  // namespace tarvel::audio
