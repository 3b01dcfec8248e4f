#include "audio/TempoStretcher.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>

namespace tarvel::audio {

namespace {
constexpr float kInt16Scale = 32768.0f;
constexpr std::size_t kChunkFrames = 1024;
// Bound on the silence pushed in to drain the stretcher (about 3 s at 44.1 kHz).
constexpr int kMaxSilenceChunks = 128;

std::int16_t ToInt16(float v) {
    const float scaled = std::nearbyint(v * kInt16Scale);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}
// Each sequence of the stretcher starts at the best-matching point within its seek window, so
// its output runs ahead of or behind the nominal speed x output count by an amount that depends
// on the speed. Measured means for sequences of 32 ms and seek windows of 20 ms, in ms of source
// (positive: ahead), averaged over noise and tonal material; linear between the points.
struct LeadPoint {
    double speed;
    double ms;
};
constexpr LeadPoint kLead[] = {{0.5, 9.07},  {0.75, 4.94}, {1.25, -6.30}, {1.5, -8.46},
                               {2.0, -16.1}, {3.0, -31.0}, {4.0, -46.7}};
constexpr double kMsPerSecond = 1000.0;
}  // namespace

double TempoStretcher::SourceLeadFrames(double speed, std::uint32_t rate) {
    constexpr std::size_t n = std::size(kLead);
    std::size_t i = 1;
    while (i + 1 < n && speed > kLead[i].speed) {
        ++i;
    }
    const LeadPoint& a = kLead[i - 1];
    const LeadPoint& b = kLead[i];
    const double ms = a.ms + (b.ms - a.ms) * (speed - a.speed) / (b.speed - a.speed);
    return ms * rate / kMsPerSecond;
}

double TempoStretcher::leadOutputFrames() const {
    return SourceLeadFrames(speed(), rate_) / speed();
}

TempoStretcher::TempoStretcher(std::uint32_t rate, std::uint32_t channels)
    : touch_(std::make_unique<soundtouch::SoundTouch>()), rate_(rate), channels_(channels) {
    touch_->setSampleRate(rate);
    touch_->setChannels(channels);
    touch_->setTempo(1.0);
    floatBuffer_.resize(kChunkFrames * channels_);
}

TempoStretcher::~TempoStretcher() = default;

void TempoStretcher::setTempoPercent(double percent) {
    percent_ = percent;
    touch_->setTempo(speed());
}

bool TempoStretcher::setOption(int id, int value) {
    return touch_->setSetting(id, value);
}

void TempoStretcher::put(const std::int16_t* in, std::size_t frames, std::uint64_t sourceFrame) {
    if (frames == 0) {
        return;
    }
    const double s = speed();
    if (!segments_.empty()) {
        Segment& last = segments_.back();
        if (last.speed == s && last.sourceFrame + last.frames == sourceFrame) {
            last.frames += frames;  // continuous: widen the last segment
        } else {
            segments_.push_back({outFed_, sourceFrame, frames, s});
        }
    } else {
        segments_.push_back({outFed_, sourceFrame, frames, s});
    }
    outFed_ += static_cast<double>(frames) / s;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kChunkFrames, frames - done);
        putFloat(in + done * channels_, n);
        done += n;
    }
}

std::size_t TempoStretcher::receive(std::int16_t* out, std::size_t frames) {
    if (drainLimit_) {
        frames = std::min<std::uint64_t>(frames,
                                         *drainLimit_ > outTaken_ ? *drainLimit_ - outTaken_ : 0);
    }
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t want = std::min(kChunkFrames, frames - done);
        const std::size_t got =
            touch_->receiveSamples(floatBuffer_.data(), static_cast<uint>(want));
        if (got == 0) {
            break;
        }
        std::int16_t* dst = out + done * channels_;
        for (std::size_t i = 0; i < got * channels_; ++i) {
            dst[i] = ToInt16(floatBuffer_[i]);
        }
        done += got;
    }
    outTaken_ += done;
    dropPlayedSegments();
    // Draining ends at the limit, or earlier if the stretcher has nothing more to give.
    if (drainLimit_ && (outTaken_ >= *drainLimit_ || done < frames)) {
        clear();
    }
    return done;
}

void TempoStretcher::drain(const std::int16_t* tail, std::size_t tailFrames) {
    if (drainLimit_ || segments_.empty()) {
        return;
    }
    // Cut where the audio leaving reaches the last frame fed.
    const double limit = std::max(static_cast<double>(outTaken_), outFed_ - leadOutputFrames());
    drainLimit_ = static_cast<std::uint64_t>(std::llround(limit));
    if (outTaken_ >= *drainLimit_) {
        clear();
        return;
    }
    const std::uint64_t needed = *drainLimit_ - outTaken_;
    for (std::size_t done = 0; done < tailFrames && touch_->numSamples() < needed;) {
        const std::size_t n = std::min(kChunkFrames, tailFrames - done);
        putFloat(tail + done * channels_, n);
        done += n;
    }
    std::fill(floatBuffer_.begin(), floatBuffer_.end(), 0.0f);
    for (int i = 0; i < kMaxSilenceChunks && touch_->numSamples() < needed; ++i) {
        touch_->putSamples(floatBuffer_.data(), static_cast<uint>(kChunkFrames));
    }
}

void TempoStretcher::putFloat(const std::int16_t* in, std::size_t frames) {
    for (std::size_t i = 0; i < frames * channels_; ++i) {
        floatBuffer_[i] = static_cast<float>(in[i]) / kInt16Scale;
    }
    touch_->putSamples(floatBuffer_.data(), static_cast<uint>(frames));
}

void TempoStretcher::clear() {
    touch_->clear();
    segments_.clear();
    outFed_ = 0.0;
    outTaken_ = 0;
    drainLimit_.reset();
}

void TempoStretcher::dropPlayedSegments() {
    // Keep the segment that the audio leaving next falls in.
    const double next = static_cast<double>(outTaken_) + leadOutputFrames();
    while (segments_.size() > 1 && segments_.front().outEnd() <= next) {
        segments_.pop_front();
    }
}

std::optional<std::uint64_t> TempoStretcher::sourcePosition() const {
    if (segments_.empty()) {
        return std::nullopt;
    }
    const double next = std::max(0.0, static_cast<double>(outTaken_) + leadOutputFrames());
    for (const Segment& seg : segments_) {
        if (next < seg.outEnd()) {
            const double into = std::max(0.0, next - seg.outStart) * seg.speed;
            const auto frames =
                static_cast<std::uint64_t>(std::min(into, static_cast<double>(seg.frames)));
            return seg.sourceFrame + frames;
        }
    }
    const Segment& last = segments_.back();
    return last.sourceFrame + last.frames;
}

}  // namespace tarvel::audio
