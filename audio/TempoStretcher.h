// Tempo change without pitch change, plus the map from the frames it hands out back
// to the source frames they came from.
//
// Speeds above normal are stretched by Rubber Band, which keeps the attacks that SoundTouch
// skips there (its standard window up to 250 %, the short one above); normal speed and slower by
// SoundTouch (StretchEngine, RubberBandEngine). The engine
// changes only between streams, so a speed change across normal speed
// while audio is held goes on with the engine that holds it until the next jump or stop.
//
// A source SoundTouch cannot take as it is (rate, channel count) is stretched in a form it takes
// and handed out in the source's own (StretchFormat). An engine call that throws leaves the
// stretcher failed: it then hands out nothing, and the owner ends the stream.
//
// At tempo change 0 the stretcher is bypassed once it holds nothing: the caller then copies
// source frames straight through, bit-exact and without latency.
//
// Used by one thread at a time (the owning channel's lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "audio/SeamSplice.h"
#include "audio/StretchEnding.h"
#include "audio/StretchEngine.h"
#include "audio/StretchFormat.h"

namespace tarvel::audio {

class TempoStretcher {
  public:
    TempoStretcher(std::uint32_t rate, std::uint32_t channels);

    ~TempoStretcher();
    TempoStretcher(const TempoStretcher&) = delete;
    TempoStretcher& operator=(const TempoStretcher&) = delete;

    // Tempo change in percent (-50 = half speed, +300 = four times).
    void setTempoPercent(double percent);
    double tempoPercent() const { return percent_; }
    // Source frames consumed per frame handed out.
    double speed() const { return 1.0 + percent_ / 100.0; }
    // Whether a change to `percent` needs the other engine, which takes over when nothing is
    // held: the owner restarts the stream where it is heard to make the change at once.
    bool switchesEngine(double percent) const;
    // The tempo stream's setting ids (sequence and seek-window lengths in ms, ...). False if
    // unknown.
    bool setOption(int id, int value);

    bool bypassed() const { return percent_ == 0.0 && empty() && !failed_; }
    bool failed() const { return failed_; }
    bool empty() const { return segments_.empty(); }

    // Feeds `frames` frames that start at source frame `sourceFrame`.
    void put(const std::int16_t* in, std::size_t frames, std::uint64_t sourceFrame);
    // Takes up to `frames` stretched frames.
    std::size_t receive(std::int16_t* out, std::size_t frames);
    // No more input counts: what is held comes out, exactly as long as the input stands for and
    // ending on the last source frames fed (StretchEnding). `tail` is the audio that would have
    // followed (pushes the held audio out with real sound rather than silence); silence makes up
    // for what it lacks.
    void drain(const std::int16_t* tail, std::size_t tailFrames);
    bool draining() const { return drainLimit_.has_value(); }
    // Drops everything held.
    void clear();
    // Drops everything held, as for a restart from sourcePosition(), keeping what would have been
    // handed out next to crossfade into the first frames of the new stream (receive() does; the
    // owner calls spliceInto() for frames it copies past the stretcher).
    void restartSpliced();
    void spliceInto(std::int16_t* frames, std::size_t count) { handover_.apply(frames, count); }
    // The same crossfade when the stream leaves the straight path: the owner puts up to
    // continuationFrames() of the source frames that would have followed into continuation().
    std::int16_t* continuation() { return handover_.continuation(); }
    std::size_t continuationFrames() const { return handover_.frames(); }
    void beginHandover(std::size_t got) { handover_.begin(got); }

    // Source frame of the next frame to be handed out; none when nothing is held.
    std::optional<std::uint64_t> sourcePosition() const;

  private:
    struct Segment {
        double outStart;            // output frame at which this input segment begins
        std::uint64_t sourceFrame;  // its first source frame
        std::uint64_t frames;       // input frames
        double speed;               // source frames per output frame while it plays
        double outEnd() const { return outStart + static_cast<double>(frames) / speed; }
    };
    void dropPlayedSegments();
    void putFloat(const std::int16_t* in, std::size_t frames);
    // Converted frames waiting to be handed out; copies up to `frames` of them.
    std::size_t takePending(std::int16_t* out, std::size_t frames);
    // Up to `frames` of the frames the stretcher has ready.
    std::size_t pull(std::int16_t* out, std::size_t frames);
    // Frames ready to be handed out, all moved to the waiting buffer.
    std::uint64_t pullableFrames();
    // Frames (source rate) the stretcher and the waiting buffer hold.
    std::uint64_t heldFrames() const;
    // Runs a SoundTouch call; false (and failed from then on) if it threw.
    template <typename F>
    bool guarded(F&& f);

    enum class Use { SoundTouch, RubberBand, RubberBandShort };
    // The engine for `speed` (source frames per frame handed out).
    static Use UseAt(double speed);
    Use inUse() const;
    // Takes the engine the speed calls for, if nothing is held; makes it when first wanted.
    void useWantedEngine();

    StretchFormat format_;
    std::unique_ptr<StretchEngine> slow_;     // SoundTouch, always there: it knows the settings
    std::unique_ptr<StretchEngine> fast_;     // Rubber Band, standard window
    std::unique_ptr<StretchEngine> fastest_;  // Rubber Band, short window
    StretchEngine* engine_;                   // the one in use
    // Output frames by which the audio leaving runs ahead of the nominal map.
    double leadOutputFrames() const;

    const std::uint32_t rate_;
    const std::uint32_t channels_;
    double percent_ = 0.0;
    std::deque<Segment> segments_;
    double outFed_ = 0.0;         // output frames the input so far stands for
    std::uint64_t outTaken_ = 0;  // output frames handed out
    std::optional<std::uint64_t> drainLimit_;
    std::vector<float> floatBuffer_;     // work frames out of the stretcher, or silence into it
    std::vector<float> work_;            // work frames into the stretcher
    std::vector<std::int16_t> pending_;  // source-form frames converted, not yet handed out
    StretchEnding ending_;
    SeamSplice handover_;
    std::size_t pendingAt_ = 0;
    bool failed_ = false;
};

}  // namespace tarvel::audio
