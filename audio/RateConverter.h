// Converts one channel's stereo frames from its own rate to the device's (libsoxr), pulling its
// input as it needs it.
//
// Owned by a channel and used by the mixing thread under the channel's mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct soxr;

namespace tarvel::audio {

class RateConverter {
  public:
    // Fills `out` with up to `frames` stereo frames; fewer only at the end of the input.
    using Pull = std::function<std::size_t(std::int16_t* out, std::size_t frames)>;

    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Stereo frames at `outRate` from input at `inRate`; fewer than asked only once the input has
    // ended (and the converter's tail has come out). Creates the converter on first use.
    std::size_t produce(std::uint32_t inRate, std::uint32_t outRate, std::int16_t* out,
                        std::size_t frames, const Pull& pull);
    // Forgets buffered input (after a seek that starts afresh, or a new play).
    void reset();

  private:
    static std::size_t supply(void* self, const void** data, std::size_t requested);

    soxr* soxr_ = nullptr;
    std::uint32_t inRate_ = 0;
    std::uint32_t outRate_ = 0;
    const Pull* pull_ = nullptr;
    bool inputEnded_ = false;
    std::vector<std::int16_t> input_;
};

}  // namespace tarvel::audio
