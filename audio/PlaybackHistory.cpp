#include "audio/PlaybackHistory.h"

#include <algorithm>

#include "audio/LevelMeter.h"

namespace tarvel::audio {

namespace {
// The render step hands over blocks of at most a few hundred frames, often fewer where a read
// stops early: one mark per this many frames on average is plenty.
constexpr std::size_t kFramesPerMark = 32;
constexpr std::size_t kMinMarks = 64;
}  // namespace

PlaybackHistory::PlaybackHistory(std::size_t frames)
    : marks_(std::max(kMinMarks, frames / kFramesPerMark)),
      capacityFrames_(std::max<std::size_t>(frames, 1)),
      samples_(capacityFrames_ * 2, 0) {}

void PlaybackHistory::reset() {
    markStart_ = 0;
    markCount_ = 0;
    sampleBegin_ = 0;
    sampleEnd_ = 0;
}

void PlaybackHistory::record(std::uint64_t at, const std::int16_t* stereo, std::size_t frames,
                             std::uint64_t before, std::uint64_t after, bool jumped) {
    if (markCount_ > 0 && at != sampleEnd_) {
        // Not where the last block ended: a flushed ring starts over; keep what is older.
        if (at < sampleEnd_) {
            truncate(at);
        } else {
            reset();
        }
    }
    if (markCount_ == 0) {
        sampleBegin_ = at;
        sampleEnd_ = at;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t i = static_cast<std::size_t>((at + f) % capacityFrames_) * 2;
        samples_[i] = stereo[f * 2];
        samples_[i + 1] = stereo[f * 2 + 1];
    }
    sampleEnd_ = at + frames;
    sampleBegin_ =
        std::max(sampleBegin_, sampleEnd_ > capacityFrames_ ? sampleEnd_ - capacityFrames_ : 0);

    const Mark m{at, frames, before, after, jumped};
    if (markCount_ < marks_.size()) {
        marks_[(markStart_ + markCount_) % marks_.size()] = m;
        ++markCount_;
    } else {
        marks_[markStart_] = m;
        markStart_ = (markStart_ + 1) % marks_.size();
    }
}

void PlaybackHistory::truncate(std::uint64_t at) {
    while (markCount_ > 0 && mark(markCount_ - 1).at >= at) {
        --markCount_;
    }
    if (markCount_ == 0) {
        reset();
        return;
    }
    // A block that straddles the cut keeps only its frames before it.
    Mark& last = marks_[(markStart_ + markCount_ - 1) % marks_.size()];
    if (last.at + last.frames > at) {
        const std::uint64_t keep = at - last.at;
        if (!last.jumped && last.after >= last.before && last.frames > 0) {
            last.after = last.before + (last.after - last.before) * keep / last.frames;
        }
        last.frames = keep;
    }
    sampleEnd_ = std::min(sampleEnd_, at);
    sampleBegin_ = std::min(sampleBegin_, sampleEnd_);
}

std::optional<std::size_t> PlaybackHistory::markAtOrBefore(std::uint64_t index) const {
    if (markCount_ == 0 || index < mark(0).at) {
        return std::nullopt;
    }
    // Marks are in ring-index order.
    std::size_t lo = 0;
    std::size_t hi = markCount_;
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (mark(mid).at <= index) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

std::size_t PlaybackHistory::firstMarkFrom(std::uint64_t index) const {
    std::size_t lo = 0;
    std::size_t hi = markCount_;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (mark(mid).at < index) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

std::optional<std::uint64_t> PlaybackHistory::positionAt(std::uint64_t index) const {
    if (markCount_ == 0 || index >= sampleEnd_) {
        return std::nullopt;
    }
    const auto at = markAtOrBefore(index);
    if (!at) {
        return mark(0).before;
    }
    const Mark& m = mark(*at);
    const std::uint64_t into = index - m.at;
    if (into >= m.frames) {
        return m.after;
    }
    if (m.after < m.before) {
        return m.before;  // a seam inside the block: do not run past the mark before it
    }
    return m.before + (m.after - m.before) * into / m.frames;
}

std::uint32_t PlaybackHistory::levelBefore(std::uint64_t index, std::size_t window) const {
    const std::uint64_t end = std::min(index, sampleEnd_);
    const std::uint64_t begin = std::max(sampleBegin_, index > window ? index - window : 0);
    StereoPeak peak;
    for (std::uint64_t f = begin; f < end; ++f) {
        const std::size_t i = static_cast<std::size_t>(f % capacityFrames_) * 2;
        peak.add(samples_[i], samples_[i + 1]);
    }
    return peak.packed();
}

std::optional<PlaybackHistory::BlockStart> PlaybackHistory::blockStartAtOrAfter(
    std::uint64_t index) const {
    const std::size_t i = firstMarkFrom(index);
    if (i >= markCount_) {
        return std::nullopt;
    }
    return BlockStart{mark(i).at, mark(i).before};
}

bool PlaybackHistory::jumpedFrom(std::uint64_t index) const {
    for (std::size_t i = firstMarkFrom(index); i < markCount_; ++i) {
        if (mark(i).jumped) {
            return true;
        }
    }
    return false;
}

std::optional<PlaybackHistory::Run> PlaybackHistory::straightRunFrom(std::uint64_t index) const {
    const std::size_t first = firstMarkFrom(index);
    if (first >= markCount_) {
        return std::nullopt;
    }
    Run run{mark(first).before, mark(first).before};
    for (std::size_t i = first; i < markCount_; ++i) {
        const Mark& m = mark(i);
        if (m.jumped || m.after < m.before || m.before < run.last) {
            return std::nullopt;
        }
        run.last = m.after;
    }
    return run;
}

}  // namespace tarvel::audio
