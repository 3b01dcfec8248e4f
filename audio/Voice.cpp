#include "audio/Voice.h"

#include <algorithm>
#include <cmath>

namespace tarvel::audio {

namespace {
constexpr std::int32_t kFullVolume = 100;
constexpr std::int32_t kFullPan = 100;
constexpr std::int32_t kGainUnit = kFullVolume * kFullPan;
// Room beyond the fill target: after a flush the render thread can write a whole target's worth
// at once, before the consumer has even seen the flush.
constexpr std::size_t kRingTargets = 2;
// A cut keeps this many device buffers ahead of the consumer untouched: it may be reading one.
constexpr std::size_t kCutMarginBuffers = 2;
// The crossfade at a cut lasts as long as a loop seam's: two fades.
constexpr std::size_t kRejoinRamps = 2;
}  // namespace

Voice::Voice(std::size_t aheadFrames, std::size_t deviceFrames, std::uint32_t channels,
             std::size_t rampFrames)
    : deviceFrames_(std::max<std::size_t>(deviceFrames, 1)),
      ramp_(std::max<std::size_t>(rampFrames, 1), FadeCurve::Shape::RaisedCosine),
      ring_((aheadFrames + deviceFrames_) * kRingTargets),
      history_(ring_.capacity() + deviceFrames_),
      step_(kStepFrames * FrameRing::kStereo),
      rejoin_(kRejoinRamps * ramp_.frames(), FrameRing::kStereo, FadeCurve::Shape::RaisedCosine),
      native_(kPullFrames * std::max<std::uint32_t>(channels, FrameRing::kStereo)),
      tail_(ramp_.frames() * FrameRing::kStereo, 0.0f),
      fadeInAt_(ramp_.frames()) {}

std::uint64_t Voice::nextHeard() const {
    return std::max(ring_.readIndex(), flushIndex());
}

std::size_t Voice::fill() const {
    const std::uint64_t w = ring_.writeIndex();
    const std::uint64_t r = nextHeard();
    return w > r ? static_cast<std::size_t>(w - r) : 0;
}

void Voice::flush(bool holdNew) {
    rejoin_.cancel();  // the consumer fades across a flush itself
    setEnd(kNoEnd);
    setStalled(false);
    const std::uint64_t count = (flushWord_.load(std::memory_order_relaxed) + 1) & kCountMask;
    if (!holdNew) {
        // Before the flush itself: a consumer that sees the new count sees it released.
        released_.store(count, std::memory_order_release);
    }
    flushWord_.store((ring_.writeIndex() << kCountBits) | count, std::memory_order_release);
}

bool Voice::Holds(std::uint64_t released, std::uint64_t count) {
    // Counts wrap: `released` is behind `count` when fewer than half the counts lie between.
    // A consumer that read the flush word just before a flush that releases at once sees the
    // count it read behind the one released, not ahead of it, and goes on with what it plays.
    const std::uint64_t behind = (count - released) & kCountMask;
    return behind != 0 && behind <= kCountMask / 2;
}

bool Voice::holdingNew() const {
    return Holds(released_.load(std::memory_order_relaxed),
                 flushWord_.load(std::memory_order_relaxed) & kCountMask);
}

void Voice::releaseNew() {
    released_.store(flushWord_.load(std::memory_order_relaxed) & kCountMask,
                    std::memory_order_release);
}

bool Voice::quiet() const {
    return settled_.load(std::memory_order_acquire) ==
           (flushWord_.load(std::memory_order_acquire) & kCountMask);
}

std::uint64_t Voice::earliestCut() const {
    return nextHeard() + deviceFrames_ * kCutMarginBuffers;
}

void Voice::cutAfter(std::uint64_t at) {
    // Raised-cosine gains add up to one: the same audio rendered again passes unchanged, and
    // two renderings of a moment at different speeds never sum louder than the louder one.
    const std::size_t kept = std::min(ring_.readableFrom(at), rejoin_.frames());
    std::int16_t* continuation = rejoin_.continuation();
    ring_.forEach(at, kept, [&continuation](std::int16_t left, std::int16_t right) {
        *continuation++ = left;
        *continuation++ = right;
    });
    rejoin_.begin(kept);
    ring_.truncate(at);
    history_.truncate(at);
    setEnd(kNoEnd);
    setStalled(false);
}

std::uint64_t Voice::heardIndex(std::uint64_t heardDeviceFrame) const {
    const std::uint64_t low = flushIndex();
    const std::uint64_t high = ring_.readIndex();
    if (high <= low) {
        return low;  // nothing taken since the flush
    }
    const std::int64_t offset = deviceOffset_.load(std::memory_order_acquire);
    const std::int64_t heard = static_cast<std::int64_t>(heardDeviceFrame) - offset;
    if (heard <= static_cast<std::int64_t>(low)) {
        return low;
    }
    return std::min(static_cast<std::uint64_t>(heard), high);
}

void Voice::beginTail(std::uint64_t r, std::uint64_t flush) {
    // Everything that was sounding fades out together, each part as it would have gone on: what
    // is left of an earlier fade-out, and the frames that followed in the ring with the gain
    // they had (where a fade-in had got to, rising further). With gains that add up to one
    // across a crossfade, the sum never exceeds the louder of the sounds it joins.
    const std::size_t ramp = ramp_.frames();
    const std::size_t left = tailLength_ - tailAt_;
    const std::size_t available = sounded_ && flush > r ? static_cast<std::size_t>(flush - r) : 0;
    const std::size_t m = std::min(ramp, available);
    const std::size_t length = std::max(left, m);
    for (std::size_t k = 0; k < length * FrameRing::kStereo; ++k) {
        tail_[k] = k < left * FrameRing::kStereo ? tail_[tailAt_ * FrameRing::kStereo + k] : 0.0f;
    }
    std::size_t k = 0;
    ring_.forEach(r, m, [&](std::int16_t l, std::int16_t rr) {
        const std::size_t at = fadeInAt_ + k;
        const float fade = at < ramp ? ramp_.in(at) : 1.0f;
        tail_[k * 2] += static_cast<float>(l) * gains_.left * fade;
        tail_[k * 2 + 1] += static_cast<float>(rr) * gains_.right * fade;
        ++k;
    });
    for (k = 0; k < length; ++k) {
        tail_[k * 2] *= ramp_.out(k);
        tail_[k * 2 + 1] *= ramp_.out(k);
    }
    tailLength_ = length;
    tailAt_ = 0;
}

void Voice::mixMoving(std::int32_t* acc, std::size_t frames, std::uint64_t r, std::size_t n,
                      const Gains& target, std::int32_t leftGain, std::int32_t rightGain,
                      std::uint64_t endFadeFrom) {
    const std::size_t ramp = ramp_.frames();
    // A change of gain takes a fade's length to go from silence to full.
    const float step = 1.0f / static_cast<float>(ramp);
    const auto toward = [step](float g, float t) {
        return std::abs(t - g) <= step ? t : g + (t > g ? step : -step);
    };
    std::size_t i = 0;
    ring_.forEach(r, n, [&](std::int16_t l, std::int16_t rr) {
        gains_.left = toward(gains_.left, target.left);
        gains_.right = toward(gains_.right, target.right);
        const std::uint64_t at = r + i;
        const bool ending = at >= endFadeFrom;
        if (fadeInAt_ >= ramp && gains_ == target && !ending) {
            // Settled: exactly what the steady path gives, wherever a buffer happens to start.
            acc[i * 2] += l * leftGain / kGainUnit;
            acc[i * 2 + 1] += rr * rightGain / kGainUnit;
        } else {
            float fade = fadeInAt_ < ramp ? ramp_.in(fadeInAt_++) : 1.0f;
            if (ending) {
                const auto k = static_cast<std::size_t>(at - endFadeFrom);
                fade *= k < ramp ? ramp_.out(k) : 0.0f;
            }
            acc[i * 2] += static_cast<std::int32_t>(std::lround(l * gains_.left * fade));
            acc[i * 2 + 1] += static_cast<std::int32_t>(std::lround(rr * gains_.right * fade));
        }
        ++i;
    });
    for (std::size_t f = 0; f < frames && tailAt_ < tailLength_; ++f, ++tailAt_) {
        acc[f * 2] += static_cast<std::int32_t>(std::lround(tail_[tailAt_ * 2]));
        acc[f * 2 + 1] += static_cast<std::int32_t>(std::lround(tail_[tailAt_ * 2 + 1]));
    }
    if (n < frames) {
        gains_ = target;  // nothing sounds meanwhile: the gain need not travel
    }
}

std::size_t Voice::mixInto(std::int32_t* acc, std::size_t frames, std::uint64_t deviceFrame) {
    std::uint64_t r = ring_.readIndex();
    const std::uint64_t word = flushWord_.load(std::memory_order_acquire);
    const std::uint64_t count = word & kCountMask;
    const std::int32_t vol = std::clamp(volume.load(std::memory_order_relaxed), 0, kFullVolume);
    const std::int32_t p = std::clamp(pan.load(std::memory_order_relaxed), -kFullPan, kFullPan);
    const std::int32_t leftGain = vol * (p > 0 ? kFullPan - p : kFullPan);
    const std::int32_t rightGain = vol * (p < 0 ? kFullPan + p : kFullPan);
    const Gains target{static_cast<float>(leftGain) / kGainUnit,
                       static_cast<float>(rightGain) / kGainUnit};
    if (!gainsSet_) {
        gains_ = target;
        gainsSet_ = true;
    }
    if (count != countSeen_) {
        countSeen_ = count;
        flushSeen_ = word >> kCountBits;
        beginTail(r, flushSeen_);
        sounded_ = false;  // a fresh start: its first frames are not late
        fadeInAt_ = 0;
        gains_ = target;  // the fade-in brings the new gain in
    }
    r = std::max(r, flushSeen_);
    // Held back: only the fade-out of what was playing sounds, and a wait is not a short ring.
    const bool held = Holds(released_.load(std::memory_order_acquire), count);
    const std::size_t n = held ? 0 : std::min(ring_.readableFrom(r), frames);
    // The audio's own end fades out over the last ramp inside it: a mark in mid-wave would
    // otherwise stop on a step.
    const std::uint64_t e = end();
    const std::uint64_t endFadeFrom =
        e == kNoEnd ? kNoEnd : (e > ramp_.frames() ? e - ramp_.frames() : 0);
    const bool moving = fadeInAt_ < ramp_.frames() || tailAt_ < tailLength_ ||
                        !(gains_ == target) || r + n > endFadeFrom;
    if (moving) {
        mixMoving(acc, frames, r, n, target, leftGain, rightGain, endFadeFrom);
    } else {
        std::int32_t* dst = acc;
        ring_.forEach(r, n, [&](std::int16_t l, std::int16_t rr) {
            dst[0] += l * leftGain / kGainUnit;
            dst[1] += rr * rightGain / kGainUnit;
            dst += 2;
        });
    }
    if (tailAt_ >= tailLength_) {
        settled_.store(countSeen_, std::memory_order_release);
    }
    if (n > 0) {
        deviceOffset_.store(static_cast<std::int64_t>(deviceFrame) - static_cast<std::int64_t>(r),
                            std::memory_order_release);
        sounded_ = true;
    }
    if (n < frames && sounded_ && r + n < end()) {
        underruns_.fetch_add(1, std::memory_order_relaxed);
    }
    ring_.consumeTo(r + n);
    return n;
}

}  // namespace tarvel::audio
