// Mixes the playing channels into the device's 16-bit stereo stream.
//
// mix() runs on the mixing thread (SDL's callback thread, or the thread calling CaptureRender).
// add()/remove() and the queries run on any thread. The channel list has its own short mutex;
// a channel's lock is only try-locked here, with a short wait, and a channel whose lock stays
// busy is silent for that block rather than stalling the device.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/Channel.h"

namespace tarvel::audio {

class Mixer {
  public:
    explicit Mixer(std::uint32_t rate);

    std::uint32_t rate() const { return rate_; }
    void add(const std::shared_ptr<Channel>& channel);
    void remove(const Channel* channel);
    void clear();

    // Renders `frames` stereo frames into `out`.
    void mix(std::int16_t* out, std::size_t frames);
    // Device frames mixed so far.
    std::uint64_t mixedFrames() const { return mixed_.load(std::memory_order_acquire); }

  private:
    // Adds one channel's next `frames` frames (volume and pan applied) into acc_.
    void mixChannel(Channel& channel, std::size_t frames, std::uint64_t at);
    // Pulls stereo frames at the channel's own rate.
    std::size_t pullStereo(Channel& channel, std::int16_t* out, std::size_t frames);

    const std::uint32_t rate_;
    std::mutex listMutex_;
    std::vector<std::shared_ptr<Channel>> channels_;  // guarded by listMutex_
    // Mixing thread only.
    std::vector<std::shared_ptr<Channel>> snapshot_;
    std::vector<std::int32_t> acc_;
    std::vector<std::int16_t> block_;
    std::vector<std::int16_t> native_;
    std::atomic<std::uint64_t> mixed_{0};
};

}  // namespace tarvel::audio
