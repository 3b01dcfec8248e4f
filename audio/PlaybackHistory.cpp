#include "audio/PlaybackHistory.h"

#include <algorithm>

#include "audio/LevelMeter.h"

namespace tarvel::audio {

PlaybackHistory::PlaybackHistory() : samples_(kCapacityFrames * 2, 0) {}

void PlaybackHistory::reset() {
    markStart_ = 0;
    markCount_ = 0;
    sampleBegin_ = 0;
    sampleEnd_ = 0;
}

void PlaybackHistory::record(std::uint64_t at, const std::int16_t* stereo, std::size_t frames,
                             std::uint64_t before, std::uint64_t after) {
    if (markCount_ > 0 && at < sampleEnd_) {
        reset();  // time went backwards: a new output
    }
    if (markCount_ == 0) {
        sampleBegin_ = at;
        sampleEnd_ = at;
    }
    // A block the mixer skipped (lock busy) was silence for this channel.
    while (sampleEnd_ < at) {
        const std::size_t i = (sampleEnd_ % kCapacityFrames) * 2;
        samples_[i] = 0;
        samples_[i + 1] = 0;
        ++sampleEnd_;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t i = ((at + f) % kCapacityFrames) * 2;
        samples_[i] = stereo[f * 2];
        samples_[i + 1] = stereo[f * 2 + 1];
    }
    sampleEnd_ = at + frames;
    sampleBegin_ =
        std::max(sampleBegin_, sampleEnd_ > kCapacityFrames ? sampleEnd_ - kCapacityFrames : 0);

    const Mark m{at, frames, before, after};
    if (markCount_ < kMarks) {
        marks_[(markStart_ + markCount_) % kMarks] = m;
        ++markCount_;
    } else {
        marks_[markStart_] = m;
        markStart_ = (markStart_ + 1) % kMarks;
    }
}

std::optional<std::uint64_t> PlaybackHistory::positionAt(std::uint64_t frame) const {
    if (markCount_ == 0) {
        return std::nullopt;
    }
    if (frame < mark(0).at) {
        return mark(0).before;
    }
    // Marks are in device-frame order: find the last one starting at or before `frame`.
    std::size_t lo = 0;
    std::size_t hi = markCount_;
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (mark(mid).at <= frame) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const Mark& m = mark(lo);
    const std::uint64_t into = frame - m.at;
    if (into >= m.frames) {
        return m.after;
    }
    if (m.after < m.before) {
        return m.before;  // a seam inside the block: do not run past the mark before it
    }
    return m.before + (m.after - m.before) * into / m.frames;
}

std::uint32_t PlaybackHistory::levelBefore(std::uint64_t frame, std::size_t window) const {
    const std::uint64_t end = std::min(frame, sampleEnd_);
    const std::uint64_t begin = std::max(sampleBegin_, frame > window ? frame - window : 0);
    StereoPeak peak;
    for (std::uint64_t f = begin; f < end; ++f) {
        const std::size_t i = (f % kCapacityFrames) * 2;
        peak.add(samples_[i], samples_[i + 1]);
    }
    return peak.packed();
}

}  // namespace tarvel::audio
