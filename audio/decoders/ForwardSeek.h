// Exact seeks in a stream its library can only decode forward (GSM 6.10 in WAV, some ADPCM
// codings): a seek ahead decodes and drops the frames in between; a seek back restarts the
// stream and decodes forward from its start. From the first seek on, what is decoded is kept in
// a cache of one run of frames (up to kForwardSeekCacheBytes), so that a repeat loop, or any
// seek back into what was already heard, costs nothing after its first pass.
// Used by one thread at a time, like the decoder that owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::audio {

// A decoded stream read forward only, that can start over.
class ForwardStream {
  public:
    virtual ~ForwardStream() = default;
    // Up to `frames` frames from where the stream is; 0 at its end.
    virtual std::size_t readForward(std::int16_t* out, std::size_t frames) = 0;
    // Back to frame 0; false if the stream cannot be reopened.
    virtual bool restart() = 0;
};

// 32 MiB: over half an hour of 8 kHz mono, where these codings live.
inline constexpr std::size_t kForwardSeekCacheBytes = std::size_t{32} << 20;

class ForwardSeek {
  public:
    // `live` is the frame the stream will decode next.
    ForwardSeek(std::uint32_t channels, std::uint64_t length, std::uint64_t live,
                std::size_t cacheBytes = kForwardSeekCacheBytes);

    std::size_t read(ForwardStream& stream, std::int16_t* out, std::size_t frames);
    // Always possible within the length; the work is done by the next read.
    bool seek(std::uint64_t frame);

    std::uint64_t cachedFrom() const { return cacheStart_; }
    std::uint64_t cachedFrames() const { return cache_.size() / channels_; }

  private:
    void keep(const std::int16_t* frames, std::size_t count);

    const std::uint32_t channels_;
    const std::uint64_t length_;
    const std::size_t capSamples_;
    std::uint64_t pos_;   // the next frame a read gives
    std::uint64_t live_;  // the next frame the stream decodes
    bool caching_ = false;
    std::uint64_t cacheStart_ = 0;
    std::vector<std::int16_t> cache_;  // frames from cacheStart_ on
    std::vector<std::int16_t> scratch_;
};

}  // namespace tarvel::audio
