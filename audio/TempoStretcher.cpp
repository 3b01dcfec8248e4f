#include "audio/TempoStretcher.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "audio/RubberBandEngine.h"
#include "audio/SoundTouchEngine.h"

namespace tarvel::audio {

namespace {
constexpr std::size_t kChunkFrames = 1024;
// Bound on the silence pushed in to drain the stretcher (about 3 s at 44.1 kHz).
constexpr int kMaxSilenceChunks = 128;

// The ending replaced by the source's own frames before the mark: long enough for a crossfade
// that does not click (10 ms) and 5 ms of the source alone, which the end's fade-out covers.
constexpr double kEndingSeconds = 0.015;
// The crossfade from the old stream into the new one at a restart: a loop seam's length.
constexpr double kHandoverSeconds = 0.010;
}  // namespace

double TempoStretcher::leadOutputFrames() const {
    // The rate filters of a converted form delay the audio on both sides of the stretcher.
    const double s = speed();
    const double filterDelay = static_cast<double>(format_.inputDelayFrames()) / s +
                               static_cast<double>(format_.outputDelayFrames());
    return engine_->sourceLeadFrames(s, rate_) / s - filterDelay;
}

TempoStretcher::TempoStretcher(std::uint32_t rate, std::uint32_t channels)
    : format_(rate, channels),
      slow_(std::make_unique<SoundTouchEngine>(format_.workRate(), format_.workChannels())),
      engine_(slow_.get()),
      rate_(rate),
      channels_(channels),
      ending_(channels, static_cast<std::size_t>(std::lround(rate * kEndingSeconds))),
      // Raised cosine: both sides are the same moment of the source, often nearly alike.
      handover_(FadeFrames(rate, kHandoverSeconds), channels, FadeCurve::Shape::RaisedCosine) {
    floatBuffer_.resize(kChunkFrames * format_.workChannels());
}

TempoStretcher::~TempoStretcher() = default;

template <typename F>
bool TempoStretcher::guarded(F&& f) {
    if (failed_) {
        return false;
    }
    try {
        f();
        return true;
    } catch (const std::exception&) {
        // A stretcher that threw is in no known state: it hands out nothing from now on.
        failed_ = true;
        segments_.clear();
        pending_.clear();
        pendingAt_ = 0;
        drainLimit_.reset();
        return false;
    }
}

TempoStretcher::Use TempoStretcher::UseAt(double speed) {
    // Above this the standard window costs a fifth of a core and loses a fifth of the clicks;
    // below it the short one doubles a third of them.
    constexpr double kStandardWindowUpTo = 2.5;
    if (speed <= 1.0) {
        return Use::SoundTouch;
    }
    return speed <= kStandardWindowUpTo ? Use::RubberBand : Use::RubberBandShort;
}

TempoStretcher::Use TempoStretcher::inUse() const {
    if (engine_ == fast_.get()) {
        return Use::RubberBand;
    }
    return engine_ == fastest_.get() ? Use::RubberBandShort : Use::SoundTouch;
}

void TempoStretcher::useWantedEngine() {
    // Only between streams: what an engine holds stays with it.
    const Use wanted = UseAt(speed());
    if (!empty() || wanted == inUse()) {
        return;
    }
    std::unique_ptr<StretchEngine>* slot = &slow_;
    if (wanted != Use::SoundTouch) {
        const bool shortWindow = wanted == Use::RubberBandShort;
        slot = shortWindow ? &fastest_ : &fast_;
        if (!*slot) {
            *slot = std::make_unique<RubberBandEngine>(
                format_.workRate(), format_.workChannels(),
                shortWindow ? RubberBandEngine::Window::Short : RubberBandEngine::Window::Standard);
        }
    }
    engine_->clear();
    engine_ = slot->get();
}

bool TempoStretcher::switchesEngine(double percent) const {
    return UseAt(1.0 + percent / 100.0) != inUse();
}

void TempoStretcher::setTempoPercent(double percent) {
    percent_ = percent;
    guarded([&] {
        useWantedEngine();
        engine_->setSpeed(speed());
    });
}

bool TempoStretcher::setOption(int id, int value) {
    bool known = false;
    guarded([&] {
        // SoundTouch knows the ids; Rubber Band tunes itself and has nothing to take.
        known = slow_->setOption(id, value);
    });
    return known;
}

void TempoStretcher::put(const std::int16_t* in, std::size_t frames, std::uint64_t sourceFrame) {
    if (frames == 0 || failed_) {
        return;
    }
    const double s = speed();
    const bool continuous =
        !segments_.empty() && segments_.back().sourceFrame + segments_.back().frames == sourceFrame;
    ending_.remember(in, frames, continuous);
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

std::size_t TempoStretcher::takePending(std::int16_t* out, std::size_t frames) {
    const std::size_t held = pending_.size() / channels_ - pendingAt_;
    const std::size_t n = std::min(held, frames);
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_ * channels_),
                n * channels_, out);
    pendingAt_ += n;
    return n;
}

std::size_t TempoStretcher::receive(std::int16_t* out, std::size_t frames) {
    if (drainLimit_) {
        frames = std::min<std::uint64_t>(frames,
                                         *drainLimit_ > outTaken_ ? *drainLimit_ - outTaken_ : 0);
    } else {
        // A whole ending stays held back, so that a stop at the next mark can still replace it.
        const std::uint64_t reserve = ending_.endingFrames();
        const std::uint64_t ready = pullableFrames();
        frames = std::min<std::uint64_t>(frames, ready > reserve ? ready - reserve : 0);
    }
    const std::size_t done = pull(out, frames);
    handover_.apply(out, done);
    outTaken_ += done;
    dropPlayedSegments();
    // Draining ends at the limit, or earlier if the stretcher has nothing more to give.
    if (drainLimit_ && (outTaken_ >= *drainLimit_ || done < frames)) {
        clear();
    }
    return done;
}

std::size_t TempoStretcher::pull(std::int16_t* out, std::size_t frames) {
    pullableFrames();
    return takePending(out, frames);
}

std::uint64_t TempoStretcher::pullableFrames() {
    // Whatever the stretcher has ready is moved to the waiting frames, so that the count is exact
    // in the source's form.
    for (bool more = true; more && !failed_;) {
        std::size_t got = 0;
        guarded([&] { got = engine_->receive(floatBuffer_.data(), kChunkFrames); });
        more = got > 0;
        if (more) {
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_ * channels_));
            pendingAt_ = 0;
            format_.fromWork(floatBuffer_.data(), got, pending_);
        }
    }
    return pending_.size() / channels_ - pendingAt_;
}

std::uint64_t TempoStretcher::heldFrames() const {
    const std::size_t pending = pending_.size() / channels_ - pendingAt_;
    return static_cast<std::uint64_t>(engine_->readyFrames()) * format_.rateFactor() + pending;
}

void TempoStretcher::drain(const std::int16_t* tail, std::size_t tailFrames) {
    if (drainLimit_ || segments_.empty()) {
        return;
    }
    // Exactly as long as the input stands for: a single play lasts region / speed.
    const double limit = std::max(static_cast<double>(outTaken_), outFed_);
    drainLimit_ = static_cast<std::uint64_t>(std::llround(limit));
    if (outTaken_ >= *drainLimit_) {
        clear();
        return;
    }
    const std::uint64_t needed = *drainLimit_ - outTaken_;
    for (std::size_t done = 0; done < tailFrames && !failed_ && heldFrames() < needed;) {
        const std::size_t n = std::min(kChunkFrames, tailFrames - done);
        putFloat(tail + done * channels_, n);
        done += n;
    }
    std::fill(floatBuffer_.begin(), floatBuffer_.end(), 0.0f);
    for (int i = 0; i < kMaxSilenceChunks && !failed_ && heldFrames() < needed; ++i) {
        guarded([&] { engine_->put(floatBuffer_.data(), kChunkFrames); });
    }
    // All that is left comes out now, so that its last frames can be joined into the source's;
    // the rest waits to be handed out. Silence stands in for what the stretcher could not give.
    std::vector<std::int16_t> rest(static_cast<std::size_t>(needed) * channels_, 0);
    pull(rest.data(), static_cast<std::size_t>(needed));
    if (failed_) {
        return;
    }
    ending_.apply(rest.data(), static_cast<std::size_t>(needed));
    pending_ = std::move(rest);
    pendingAt_ = 0;
}

void TempoStretcher::putFloat(const std::int16_t* in, std::size_t frames) {
    format_.toWork(in, frames, work_);
    const std::size_t workFrames = work_.size() / format_.workChannels();
    if (workFrames > 0) {
        guarded([&] { engine_->put(work_.data(), workFrames); });
    }
}

void TempoStretcher::restartSpliced() {
    const std::size_t kept =
        static_cast<std::size_t>(std::min<std::uint64_t>(pullableFrames(), handover_.frames()));
    takePending(handover_.continuation(), kept);
    clear();
    handover_.begin(kept);
}

void TempoStretcher::clear() {
    handover_.cancel();
    guarded([&] { engine_->clear(); });
    format_.reset();
    pending_.clear();
    pendingAt_ = 0;
    ending_.forget();
    segments_.clear();
    outFed_ = 0.0;
    outTaken_ = 0;
    drainLimit_.reset();
    guarded([&] {
        useWantedEngine();
        engine_->setSpeed(speed());
    });
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
