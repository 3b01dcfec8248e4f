// The mixer's state for one channel that plays: the ring of audio rendered ahead of the device,
// the history of what went into it, the rate converter, and the gains the device callback
// applies. Created when the channel first plays (never for decode-only or scan channels) and
// kept while the channel lives.
//
// Three sides, three disciplines:
//  - producer (render thread, or an API call on the channel): everything below "producer", with
//    the channel's lock held;
//  - consumer (device callback, or the capture output's caller): mixInto() alone; it takes no
//    lock, allocates nothing and touches only the ring and atomics;
//  - gains: any thread, atomics.
//
// The consumer never cuts the sound: at every flush (play, stop, a jump of the position) it fades
// the new audio in over rampFrames() and the audio it was playing out over the same frames (a
// copy of what followed in the ring, taken as it sees the flush), raised-cosine, whose gains add
// up to one, so that a jump between two sounds never gets louder than the louder of them and
// steps no further than they do; a volume or pan change moves the gain there per frame; where the
// channel's audio ends (its end, or a stop at a mark) the last rampFrames() before it fade out, so
// the producer must set the end at least that far ahead of the consumer. Away from
// these moments it copies with a fixed integer gain, so that full volume passes the samples
// unchanged.
//
// A flush may hold the new audio back until the producer releases it: a start or a jump then
// sounds only once enough is rendered to ride out a stall of the source, instead of playing its
// first milliseconds and breaking off while the disk catches up.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "audio/FadeCurve.h"
#include "audio/FrameRing.h"
#include "audio/PlaybackHistory.h"
#include "audio/RateConverter.h"
#include "audio/SeamSplice.h"

namespace tarvel::audio {

class Voice {
  public:
    static constexpr std::uint64_t kNoEnd = std::numeric_limits<std::uint64_t>::max();

    // Frames the render step hands over at a time, and the most it pulls from the channel at once.
    static constexpr std::size_t kStepFrames = 256;
    static constexpr std::size_t kPullFrames = 1024;

    // `aheadFrames`: how far the render thread fills ahead of the device; `deviceFrames`: the
    // most the consumer takes at once; `channels`: the channel's own channel count. Every buffer
    // is allocated here. `rampFrames`: the length of the consumer's fades.
    Voice(std::size_t aheadFrames, std::size_t deviceFrames, std::uint32_t channels,
          std::size_t rampFrames);
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    // ---- producer ----
    FrameRing& ring() { return ring_; }
    PlaybackHistory& history() { return history_; }
    RateConverter& converter() { return converter_; }
    std::vector<std::int16_t>& stepBuffer() { return step_; }
    std::vector<std::int16_t>& nativeBuffer() { return native_; }

    // Where the consumer reads next: its read index, or the flush point if that is further.
    std::uint64_t nextHeard() const;
    // Frames rendered and not yet taken by the consumer.
    std::size_t fill() const;
    // Frames that may be written now.
    std::size_t space() const { return ring_.space(); }
    // Everything rendered so far goes unheard: the consumer fades out what it was playing and
    // goes on, fading in, from the write index. With `holdNew` it stays silent there until
    // releaseNew().
    void flush(bool holdNew = false);
    // The audio after the last flush is held back.
    bool holdingNew() const;
    void releaseNew();
    // The consumer has seen every flush and its fade-out is over: the voice may leave the mix.
    bool quiet() const;
    std::size_t rampFrames() const { return ramp_.frames(); }
    // The earliest ring index from which rendered frames may be taken back and rendered again.
    std::uint64_t earliestCut() const;
    // Takes back the frames from `at` on (at >= earliestCut()); the history forgets them too.
    // The first of them are kept and crossfaded into the audio rendered again from there
    // (rejoin()), so that a re-render at another speed or from a restarted stretcher joins
    // without a click; audio rendered again the same way joins unchanged.
    void cutAfter(std::uint64_t at);
    SeamSplice& rejoin() { return rejoin_; }
    // The channel's audio ends at ring index `at` (ended, or stopped by a sync); kNoEnd: more
    // audio follows.
    void setEnd(std::uint64_t at) { end_.store(at, std::memory_order_release); }
    std::uint64_t end() const { return end_.load(std::memory_order_acquire); }
    bool renderEnded() const { return end() != kNoEnd; }
    // Everything up to the end has left the ring.
    bool drained() const { return renderEnded() && ring_.readIndex() >= end(); }
    // The source had nothing for the moment when the render step last asked.
    void setStalled(bool s) { stalled_.store(s, std::memory_order_release); }
    bool stalled() const { return stalled_.load(std::memory_order_acquire); }
    // The converter and the native-rate pipeline start afresh at the next render step.
    void markDiscontinuity() { discontinuity_ = true; }
    bool takeDiscontinuity() {
        const bool d = discontinuity_;
        discontinuity_ = false;
        return d;
    }

    // The ring index being heard when the device is at `heardDeviceFrame`.
    std::uint64_t heardIndex(std::uint64_t heardDeviceFrame) const;

    // ---- gains (any thread) ----
    std::atomic<int> volume{100};  // 0..100
    std::atomic<int> pan{0};       // -100 .. +100

    // ---- consumer ----
    // Adds up to `frames` frames, with the gains applied, into `acc` (2 x frames), as the device
    // frames starting at `deviceFrame`. Pads nothing: a short ring leaves the rest as it is and
    // counts an underrun once the voice has started sounding. Returns the frames added.
    std::size_t mixInto(std::int32_t* acc, std::size_t frames, std::uint64_t deviceFrame);
    // Times the ring ran dry under a sounding voice.
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }

  private:
    struct Gains {
        float left = 1.0f;
        float right = 1.0f;
        bool operator==(const Gains&) const = default;
    };
    // The flush point and a count of flushes in one word, so that the consumer sees both at once.
    static constexpr unsigned kCountBits = 16;
    static constexpr std::uint64_t kCountMask = (std::uint64_t{1} << kCountBits) - 1;
    std::uint64_t flushIndex() const {
        return flushWord_.load(std::memory_order_acquire) >> kCountBits;
    }
    // Whether the audio of flush `count` is still held, `released` being the last one let go.
    static bool Holds(std::uint64_t released, std::uint64_t count);
    // Consumer: starts fading out the frames from `r` (up to `flush`) and what is left of an
    // earlier fade-out.
    void beginTail(std::uint64_t r, std::uint64_t flush);
    // Consumer: mixes with fades and moving gains; `n` frames come from the ring at `r`.
    // Frames from `endFadeFrom` on fade out to the end (kNoEnd: no end known).
    void mixMoving(std::int32_t* acc, std::size_t frames, std::uint64_t r, std::size_t n,
                   const Gains& target, std::int32_t leftGain, std::int32_t rightGain,
                   std::uint64_t endFadeFrom);

    const std::size_t deviceFrames_;
    const FadeCurve ramp_;
    FrameRing ring_;
    PlaybackHistory history_;
    RateConverter converter_;
    std::vector<std::int16_t> step_;
    SeamSplice rejoin_;
    std::vector<std::int16_t> native_;
    bool discontinuity_ = false;

    // producer: the consumer skips to the index in the high bits; the low bits count flushes
    std::atomic<std::uint64_t> flushWord_{0};
    // consumer: the count of the last flush whose fade-out is over
    std::atomic<std::uint64_t> settled_{0};
    // producer: the count of the last flush whose audio may sound
    std::atomic<std::uint64_t> released_{0};
    std::atomic<std::uint64_t> end_{kNoEnd};
    std::atomic<bool> stalled_{false};
    // consumer: device frame minus ring index of the last frames taken, for heardIndex()
    std::atomic<std::int64_t> deviceOffset_{0};
    std::atomic<std::uint64_t> underruns_{0};
    // consumer only
    std::uint64_t countSeen_ = 0;
    std::uint64_t flushSeen_ = 0;
    bool sounded_ = false;     // frames taken since the last flush
    std::vector<float> tail_;  // the fade-out, gains applied, 2 x rampFrames()
    std::size_t tailLength_ = 0;
    std::size_t tailAt_ = 0;
    std::size_t fadeInAt_ = 0;  // frames of the fade-in done (rampFrames(): none under way)
    Gains gains_;               // the gains applied now
    bool gainsSet_ = false;
};

}  // namespace tarvel::audio
