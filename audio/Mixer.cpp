#include "audio/Mixer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/StereoDownmix.h"

namespace tarvel::audio {

namespace {
// Frames pulled per step: the granularity of the position history (about 3 ms at 44.1 kHz).
constexpr std::size_t kStepFrames = 128;
// How long the mixing thread waits for a channel lock before it gives that block up.
constexpr auto kLockWait = std::chrono::milliseconds(3);
constexpr int kFullVolume = 100;
constexpr int kFullPan = 100;
constexpr std::int32_t kSampleMax = 32767;
constexpr std::int32_t kSampleMin = -32768;

// A bounded wait for a channel lock. Plain try_lock in a loop rather than a timed mutex: the
// holders are short calls, and sanitizers follow this lock exactly.
bool TryLockFor(Channel::Mutex& mutex, std::chrono::steady_clock::duration wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}
}  // namespace

Mixer::Mixer(std::uint32_t rate) : rate_(rate) {}

void Mixer::add(const std::shared_ptr<Channel>& channel) {
    std::lock_guard lock(listMutex_);
    if (std::find(channels_.begin(), channels_.end(), channel) == channels_.end()) {
        channels_.push_back(channel);
    }
}

void Mixer::remove(const Channel* channel) {
    std::lock_guard lock(listMutex_);
    std::erase_if(channels_, [channel](const auto& c) { return c.get() == channel; });
}

void Mixer::clear() {
    std::lock_guard lock(listMutex_);
    channels_.clear();
}

void Mixer::mix(std::int16_t* out, std::size_t frames) {
    {
        std::lock_guard lock(listMutex_);
        snapshot_ = channels_;
    }
    if (acc_.size() < frames * 2) {
        acc_.resize(frames * 2);
    }
    std::fill_n(acc_.begin(), frames * 2, 0);
    const std::uint64_t at = mixed_.load(std::memory_order_relaxed);
    for (const auto& channel : snapshot_) {
        if (!channel->playing.load()) {
            continue;
        }
        if (!TryLockFor(channel->mutex(), kLockWait)) {
            continue;
        }
        std::unique_lock lock(channel->mutex(), std::adopt_lock);
        if (!channel->released() && channel->playing.load()) {
            mixChannel(*channel, frames, at);
        }
    }
    // Drop our references here, so a freed channel is never destroyed on this thread later.
    snapshot_.clear();
    for (std::size_t i = 0; i < frames * 2; ++i) {
        out[i] = static_cast<std::int16_t>(std::clamp(acc_[i], kSampleMin, kSampleMax));
    }
    mixed_.store(at + frames, std::memory_order_release);
}

std::size_t Mixer::pullStereo(Channel& channel, std::int16_t* out, std::size_t frames) {
    const std::uint32_t channels = channel.channels();
    if (native_.size() < frames * channels) {
        native_.resize(frames * channels);
    }
    const std::size_t got = channel.read(native_.data(), frames);
    ToStereo(native_.data(), channels, out, got);
    return got;
}

void Mixer::mixChannel(Channel& channel, std::size_t frames, std::uint64_t at) {
    if (channel.takeDiscontinuity()) {
        channel.converter().reset();
        channel.history().reset();
    }
    if (block_.size() < kStepFrames * 2) {
        block_.resize(kStepFrames * 2);
    }
    const std::int32_t volume = std::clamp(channel.volume.load(), 0, kFullVolume);
    const std::int32_t pan = std::clamp(channel.pan.load(), -kFullPan, kFullPan);
    const std::int32_t leftGain = volume * (pan > 0 ? kFullPan - pan : kFullPan);
    const std::int32_t rightGain = volume * (pan < 0 ? kFullPan + pan : kFullPan);
    constexpr std::int32_t kGainUnit = kFullVolume * kFullPan;

    const bool convert = channel.rate() != rate_;
    const RateConverter::Pull pull = [this, &channel](std::int16_t* o, std::size_t n) {
        return pullStereo(channel, o, n);
    };
    for (std::size_t done = 0; done < frames;) {
        const std::size_t want = std::min(kStepFrames, frames - done);
        const std::uint64_t before = channel.positionFrames();
        const std::size_t got =
            convert ? channel.converter().produce(channel.rate(), rate_, block_.data(), want, pull)
                    : pullStereo(channel, block_.data(), want);
        channel.history().record(at + done, block_.data(), got, before, channel.positionFrames());
        for (std::size_t f = 0; f < got; ++f) {
            const std::size_t i = (done + f) * 2;
            acc_[i] += block_[f * 2] * leftGain / kGainUnit;
            acc_[i + 1] += block_[f * 2 + 1] * rightGain / kGainUnit;
        }
        done += got;
        if (got < want || !channel.playing.load() || channel.released()) {
            // Ended, or stopped by a sync callback after the audio up to its mark.
            channel.playing = false;
            break;
        }
    }
}

}  // namespace tarvel::audio
