// Renders the playing channels ahead of the device and mixes what was rendered into the device's
// 16-bit stereo stream.
//
// Two halves meet in each channel's voice (audio/Voice.h):
//  - rendering: renderAhead() on the engine's render thread (device outputs) or renderFor() on
//    the capture output's caller pulls each playing channel (decode, tempo, rate conversion) into
//    its voice's ring, firing mix-time syncs on the way; aheadFrames() ahead of the device;
//  - mixing: mix() on the device callback (or the capture caller) copies from the rings with each
//    voice's gain; it takes no lock, allocates nothing, frees nothing and never waits.
// The members marked "channel locked" are called with that channel's lock held, from any thread
// but the device callback's; they act at once on what has been rendered ahead (a play or seek
// drops it and renders afresh, a tempo change renders the unheard part again).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "audio/CallbackStats.h"
#include "audio/Channel.h"
#include "audio/Voice.h"
#include "audio/VoiceSlots.h"

namespace tarvel::audio {

class Mixer {
  public:
    // `aheadFrames`: how far rendering runs ahead of the device (0: only what is asked for, the
    // capture output); `deviceFrames`: the most the device takes per callback.
    Mixer(std::uint32_t rate, std::size_t aheadFrames, std::size_t deviceFrames);

    std::uint32_t rate() const { return rate_; }
    // Length of the fades at play, stop, pause and a jump of the position, and of a gain change.
    std::size_t rampFrames() const { return rampFrames_; }
    std::size_t aheadFrames() const { return aheadFrames_; }
    std::size_t deviceFrames() const { return deviceFrames_; }

    // ---- channel locked ----
    // Starts the channel (its voice is made on the first play): false if no voice slot is free.
    bool play(const std::shared_ptr<Channel>& channel);
    // Stops it from outside a sync callback: the sound fades out over rampFrames() from the next
    // device buffer on, and the channel's position becomes the one at the end of that fade.
    void stop(Channel& channel);
    // Before a seek of a playing channel from outside a sync callback: makes sure a fade's worth
    // of the audio that would have followed is rendered, for the jump to fade out.
    void beforeJump(Channel& channel);
    // After a seek from outside a sync callback: the audio rendered ahead is dropped (the
    // consumer crossfades from what it was playing).
    void restart(Channel& channel);
    // The tempo changed: what has not been heard yet (beyond a device buffer or two) is rendered
    // again from the source frame it stands for.
    void renderAgain(Channel& channel);
    // A sync was set or removed: audio rendered ahead that the change would have made different
    // is rendered again.
    void syncAdded(Channel& channel, DWORD type, std::uint64_t frame);
    void syncRemoved(Channel& channel);
    // What a playing channel sounds like now: the source frame being heard and the peaks of the
    // `window` frames before it.
    std::uint64_t heardPosition(Channel& channel, std::uint64_t heardDeviceFrame) const;
    std::uint32_t heardLevel(Channel& channel, std::uint64_t heardDeviceFrame,
                             std::size_t window) const;
    // BASS_ACTIVE_* of a channel that can play: playing until its last rendered frame has left
    // the ring, stalled while its source has nothing and its ring is empty.
    DWORD activity(Channel& channel);

    // ---- no channel lock ----
    // The channel is freed: its voice leaves the mixer (waits out a running callback).
    void remove(Channel* channel);
    void clear();

    // ---- rendering ----
    // Render thread: fills every playing voice up to aheadFrames(). True while any channel plays
    // or still has audio to be heard.
    bool renderAhead();
    // Capture: renders until every playing voice holds `frames` frames (or cannot go on).
    void renderFor(std::size_t frames);
    // Render thread: waits until an operation asks for rendering, `timeout` passes (none: no
    // limit) or stop is requested.
    void waitForWork(const std::stop_token& stop, std::optional<std::chrono::milliseconds> timeout);
    void wake();

    // ---- mixing (device callback) ----
    void mix(std::int16_t* out, std::size_t frames);
    // Device frames mixed so far.
    std::uint64_t mixedFrames() const { return mixed_.load(std::memory_order_acquire); }
    CallbackStats& stats() { return stats_; }

  private:
    struct Entry {
        std::shared_ptr<Channel> channel;
        std::shared_ptr<Voice> voice;
    };
    // Channel locked: renders up to `frames` frames into the voice; false once it cannot go on
    // for now (ended, stalled, ring full).
    bool renderInto(Channel& channel, Voice& voice, std::size_t frames);
    std::size_t renderStep(Channel& channel, Voice& voice, std::size_t frames);
    std::size_t pullStereo(Channel& channel, Voice& voice, std::int16_t* out, std::size_t frames);
    // Channel locked: the channel's audio has all been heard; it stops playing.
    void settle(Channel& channel);
    // Channel locked: renders what a fade-out needs, if the voice holds less.
    void renderFadeOut(Channel& channel, Voice& voice);
    // Channel locked: a channel that is not playing leaves the mix once its fade-out is over.
    void retireIfQuiet(Channel& channel, const std::shared_ptr<Voice>& voice);
    void dropEntry(const Channel* channel);
    // Channel locked: cut and render again from the first block at or after the voice's
    // earliest cut, if anything lies beyond it.
    void cutAndRenderAgain(Channel& channel, Voice& voice);
    bool canRenderAgain(const Channel& channel) const;
    // A start waits for the render thread; rendering on demand has it at once.
    bool holdsStarts() const { return aheadFrames_ > 0; }
    std::vector<Entry> snapshot();

    const std::uint32_t rate_;
    const std::size_t aheadFrames_;
    const std::size_t deviceFrames_;
    const std::size_t rampFrames_;
    const std::size_t startFrames_;  // rendered before a start or a jump sounds
    const std::size_t lowFrames_;    // below this a pass renders until full, above one chunk

    std::mutex listMutex_;
    std::vector<Entry> entries_;  // guarded by listMutex_
    VoiceSlots slots_;            // published under listMutex_

    std::mutex wakeMutex_;
    std::condition_variable_any wakeChanged_;
    bool wakePending_ = false;  // guarded by wakeMutex_

    // Device callback only: sized at construction.
    std::vector<std::int32_t> acc_;
    std::atomic<std::uint64_t> mixed_{0};
    CallbackStats stats_;
};

}  // namespace tarvel::audio
