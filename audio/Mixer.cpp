#include "audio/Mixer.h"

#include <algorithm>

#include "audio/StereoDownmix.h"

namespace tarvel::audio {

namespace {
// Frames rendered for one voice per hold of its channel's lock, so that calls from the user
// interface on that channel wait no longer than this takes.
constexpr std::size_t kChunkFrames = 2048;
constexpr std::int32_t kSampleMax = 32767;
constexpr std::int32_t kSampleMin = -32768;
// The mix accumulator covers a device buffer of this many frames at once (larger buffers are
// mixed in parts).
constexpr std::size_t kMinAccFrames = 4096;
// Fades at play, stop, pause and a jump: short enough not to be heard as a fade, long enough
// that the start or end of the sound carries no click.
constexpr double kRampSeconds = 0.005;
// A start or a jump sounds once this much is rendered (or the whole sound, if shorter): a read
// that stalls right after it, as the next block of a file on a busy or slow disk does, then
// delays the start instead of breaking the sound off after its first milliseconds. Rendering
// it takes a few milliseconds at normal speed and some tens at the fastest.
constexpr double kStartSeconds = 0.3;

std::uint64_t NowNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}
}  // namespace

Mixer::Mixer(std::uint32_t rate, std::size_t aheadFrames, std::size_t deviceFrames)
    : rate_(rate),
      aheadFrames_(aheadFrames),
      deviceFrames_(std::max<std::size_t>(deviceFrames, 1)),
      rampFrames_(FadeFrames(rate, kRampSeconds)),
      startFrames_(std::min(aheadFrames, FadeFrames(rate, kStartSeconds))),
      lowFrames_(aheadFrames / 2),
      acc_(std::max(kMinAccFrames, deviceFrames_) * FrameRing::kStereo, 0) {}

// ---- channel locked ----

bool Mixer::play(const std::shared_ptr<Channel>& channel) {
    if (!channel->voice()) {
        // Every buffer the voice needs is made here, before any callback can see it.
        channel->setVoice(std::make_shared<Voice>(aheadFrames_ + deviceFrames_, deviceFrames_,
                                                  channel->channels(), rampFrames_));
    }
    const std::shared_ptr<Voice>& voice = channel->voice();
    voice->volume.store(channel->volume.load());
    voice->pan.store(channel->pan.load());
    voice->flush(holdsStarts());
    voice->history().reset();
    {
        std::lock_guard lock(listMutex_);
        if (!slots_.publish(voice.get())) {
            return false;
        }
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const Entry& e) { return e.channel == channel; });
        if (it == entries_.end()) {
            entries_.push_back({channel, voice});
        }
    }
    channel->playing = true;
    wake();
    return true;
}

void Mixer::renderFadeOut(Channel& channel, Voice& voice) {
    // Rendering ahead normally holds far more; a capture output holds nothing beyond what was
    // asked for, and a stalled source may have left little.
    const std::size_t fill = voice.fill();
    if (fill < rampFrames_ && !voice.renderEnded()) {
        renderInto(channel, voice, rampFrames_ - fill);
    }
}

void Mixer::stop(Channel& channel) {
    const std::shared_ptr<Voice> voice = channel.voice();
    if (!voice || !channel.playing.load()) {
        channel.playing = false;
        channel.cancelPendingStop();
        return;
    }
    renderFadeOut(channel, *voice);
    if (channel.released()) {
        return;  // a sync callback on the way freed it
    }
    // The consumer fades out the frames from where it reads next: the next play goes on from
    // the end of that fade, not from what had been rendered further ahead.
    const std::uint64_t fadeEnd = voice->nextHeard() + rampFrames_;
    std::uint64_t resume = channel.positionFrames();
    if (fadeEnd < voice->ring().writeIndex()) {
        resume = voice->history().positionAt(fadeEnd).value_or(resume);
    }
    voice->flush();
    channel.playing = false;  // the voice stays in the mix until its fade is out
    if (resume != channel.positionFrames() && channel.seek(resume)) {
        voice->markDiscontinuity();
    }
    channel.cancelPendingStop();
    wake();
}

void Mixer::beforeJump(Channel& channel) {
    if (const std::shared_ptr<Voice>& voice = channel.voice(); voice && channel.playing.load()) {
        renderFadeOut(channel, *voice);
    }
}

void Mixer::retireIfQuiet(Channel& channel, const std::shared_ptr<Voice>& voice) {
    if (voice->quiet()) {
        dropEntry(&channel);
    }
}

void Mixer::restart(Channel& channel) {
    channel.cancelPendingStop();  // a sync's stop still being let out is undone by the move
    if (const std::shared_ptr<Voice>& voice = channel.voice()) {
        voice->flush(holdsStarts());
        voice->markDiscontinuity();
        if (channel.playing.load()) {
            wake();
        }
    }
}

bool Mixer::canRenderAgain(const Channel& channel) const {
    return aheadFrames_ > 0 && channel.voice() && channel.playing.load() &&
           !channel.inSyncCallback();
}

void Mixer::cutAndRenderAgain(Channel& channel, Voice& voice) {
    const auto block = voice.history().blockStartAtOrAfter(voice.earliestCut());
    if (!block || block->at >= voice.ring().writeIndex()) {
        return;
    }
    if (!channel.seek(block->source)) {
        return;
    }
    voice.cutAfter(block->at);
    voice.markDiscontinuity();
    channel.cancelPendingStop();
    wake();
}

void Mixer::renderAgain(Channel& channel) {
    if (canRenderAgain(channel)) {
        cutAndRenderAgain(channel, *channel.voice());
    }
}

void Mixer::syncAdded(Channel& channel, DWORD type, std::uint64_t frame) {
    if (!canRenderAgain(channel)) {
        return;
    }
    Voice& voice = *channel.voice();
    const std::uint64_t cut = voice.earliestCut();
    if (cut >= voice.ring().writeIndex()) {
        return;
    }
    bool affected = voice.history().jumpedFrom(cut);
    if (!affected && type == BASS_SYNC_POS) {
        const auto run = voice.history().straightRunFrom(cut);
        const std::uint64_t reached = std::max(run ? run->last : 0, channel.inputPositionFrames());
        affected = !run || (run->first < frame && frame <= reached);
    } else if (!affected) {
        affected = voice.renderEnded();  // the end was reached in audio not heard yet
    }
    if (affected) {
        cutAndRenderAgain(channel, voice);
    }
}

void Mixer::syncRemoved(Channel& channel) {
    if (!canRenderAgain(channel)) {
        return;
    }
    Voice& voice = *channel.voice();
    const std::uint64_t cut = voice.earliestCut();
    if (cut < voice.ring().writeIndex() &&
        (voice.history().jumpedFrom(cut) || voice.renderEnded())) {
        cutAndRenderAgain(channel, voice);
    }
}

std::uint64_t Mixer::heardPosition(Channel& channel, std::uint64_t heardDeviceFrame) const {
    const std::shared_ptr<Voice>& voice = channel.voice();
    if (!voice || !channel.playing.load()) {
        return channel.positionFrames();
    }
    const auto pos = voice->history().positionAt(voice->heardIndex(heardDeviceFrame));
    return pos ? *pos : channel.positionFrames();
}

std::uint32_t Mixer::heardLevel(Channel& channel, std::uint64_t heardDeviceFrame,
                                std::size_t window) const {
    const std::shared_ptr<Voice>& voice = channel.voice();
    if (!voice || !channel.playing.load()) {
        return 0;
    }
    return voice->history().levelBefore(voice->heardIndex(heardDeviceFrame), window);
}

DWORD Mixer::activity(Channel& channel) {
    if (!channel.playing.load()) {
        return BASS_ACTIVE_STOPPED;
    }
    const std::shared_ptr<Voice>& voice = channel.voice();
    if (!voice) {
        return BASS_ACTIVE_PLAYING;
    }
    if (voice->drained()) {
        settle(channel);
        return BASS_ACTIVE_STOPPED;
    }
    if (voice->stalled() && voice->fill() == 0) {
        return BASS_ACTIVE_STALLED;
    }
    return BASS_ACTIVE_PLAYING;
}

void Mixer::settle(Channel& channel) {
    dropEntry(&channel);
    channel.playing = false;
}

// ---- no channel lock ----

void Mixer::dropEntry(const Channel* channel) {
    std::shared_ptr<Voice> voice;
    {
        std::lock_guard lock(listMutex_);
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const Entry& e) { return e.channel.get() == channel; });
        if (it == entries_.end()) {
            return;
        }
        voice = it->voice;
        slots_.retire(voice.get());
        entries_.erase(it);
    }
}

void Mixer::remove(Channel* channel) {
    dropEntry(channel);
}

void Mixer::clear() {
    std::lock_guard lock(listMutex_);
    for (const Entry& e : entries_) {
        slots_.retire(e.voice.get());
    }
    entries_.clear();
}

std::vector<Mixer::Entry> Mixer::snapshot() {
    std::lock_guard lock(listMutex_);
    return entries_;
}

// ---- rendering ----

bool Mixer::renderAhead() {
    bool active = false;
    const std::vector<Entry> entries = snapshot();
    for (bool more = true; more;) {
        more = false;
        for (const Entry& e : entries) {
            std::lock_guard lock(e.channel->mutex());
            Channel& channel = *e.channel;
            if (channel.released() || channel.voice() != e.voice) {
                continue;  // freed since the snapshot
            }
            if (!channel.playing.load()) {
                retireIfQuiet(channel, e.voice);  // stopped: leaves once its fade is out
                continue;
            }
            Voice& voice = *e.voice;
            if (voice.renderEnded()) {
                voice.releaseNew();  // all of it is there
                if (voice.drained()) {
                    settle(channel);
                } else {
                    active = true;
                }
                continue;
            }
            active = true;
            const std::size_t fill = voice.fill();
            if (fill < aheadFrames_) {
                const std::size_t want = std::min(aheadFrames_ - fill, kChunkFrames);
                const bool went = renderInto(channel, voice, want) && want == kChunkFrames;
                // With the ring past its low mark the rest waits for the next top-up: a catch-up
                // of many chunks at this thread's priority (after a stalled read, at 400 % with
                // a phase vocoder) would keep the sound server off the processor meanwhile.
                const std::size_t enough = voice.holdingNew() ? startFrames_ : lowFrames_;
                more = went && voice.fill() < enough ? true : more;
            }
            if (voice.holdingNew() && (voice.fill() >= startFrames_ || voice.renderEnded())) {
                voice.releaseNew();
            }
        }
    }
    return active;
}

void Mixer::renderFor(std::size_t frames) {
    for (const Entry& e : snapshot()) {
        std::lock_guard lock(e.channel->mutex());
        Channel& channel = *e.channel;
        if (channel.released() || channel.voice() != e.voice) {
            continue;
        }
        if (!channel.playing.load()) {
            retireIfQuiet(channel, e.voice);
            continue;
        }
        Voice& voice = *e.voice;
        if (voice.renderEnded()) {
            if (voice.drained()) {
                settle(channel);
            }
            continue;
        }
        const std::size_t fill = voice.fill();
        if (fill < frames) {
            renderInto(channel, voice, frames - fill);
        }
    }
}

bool Mixer::renderInto(Channel& channel, Voice& voice, std::size_t frames) {
    for (std::size_t done = 0; done < frames;) {
        const std::size_t want = std::min({Voice::kStepFrames, frames - done, voice.space()});
        if (want == 0) {
            return false;
        }
        const std::size_t got = renderStep(channel, voice, want);
        done += got;
        if (got < want || channel.released() || !channel.playing.load()) {
            return false;
        }
    }
    return true;
}

std::size_t Mixer::pullStereo(Channel& channel, Voice& voice, std::int16_t* out,
                              std::size_t frames) {
    std::vector<std::int16_t>& native = voice.nativeBuffer();
    frames = std::min(frames, native.size() / std::max<std::uint32_t>(channel.channels(), 1));
    const std::size_t got = channel.read(native.data(), frames, SourceWait::Return);
    ToStereo(native.data(), channel.channels(), out, got);
    return got;
}

std::size_t Mixer::renderStep(Channel& channel, Voice& voice, std::size_t frames) {
    if (voice.takeDiscontinuity()) {
        voice.converter().reset();
    }
    std::int16_t* step = voice.stepBuffer().data();
    const std::uint64_t before = channel.positionFrames();
    const std::uint64_t fired = channel.syncsFired();
    std::size_t got = 0;
    bool ended = false;
    if (channel.rate() != rate_) {
        const RateConverter::Pull pull = [&](std::int16_t* o, std::size_t n) {
            const std::size_t g = pullStereo(channel, voice, o, n);
            return RateConverter::Pulled{g, g < n && !channel.stalled()};
        };
        got = voice.converter().produce(channel.rate(), rate_, step, frames, pull);
        ended = got < frames && voice.converter().ended();
    } else {
        got = pullStereo(channel, voice, step, frames);
        ended = got < frames && !channel.stalled();
    }
    if (channel.released()) {
        return 0;  // a sync callback freed it
    }
    const std::uint64_t after = channel.positionFrames();
    const bool jumped = channel.syncsFired() != fired || after < before;
    const std::uint64_t at = voice.ring().writeIndex();
    voice.rejoin().apply(step, got);
    voice.history().record(at, step, got, before, after, jumped);
    voice.ring().write(step, got);
    if (got < frames) {
        if (ended) {
            voice.setEnd(at + got);
        } else {
            voice.setStalled(true);
        }
    } else {
        voice.setStalled(false);
    }
    return got;
}

void Mixer::waitForWork(const std::stop_token& stop,
                        std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(wakeMutex_);
    const auto woken = [this] { return wakePending_; };
    if (timeout) {
        wakeChanged_.wait_for(lock, stop, *timeout, woken);
    } else {
        wakeChanged_.wait(lock, stop, woken);
    }
    wakePending_ = false;
}

void Mixer::wake() {
    {
        std::lock_guard lock(wakeMutex_);
        wakePending_ = true;
    }
    wakeChanged_.notify_all();
}

// ---- mixing ----

void Mixer::mix(std::int16_t* out, std::size_t frames) {
    const std::uint64_t t0 = NowNs();
    slots_.enter();
    const std::uint64_t at = mixed_.load(std::memory_order_relaxed);
    const std::size_t accFrames = acc_.size() / FrameRing::kStereo;
    std::uint64_t underruns = 0;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(accFrames, frames - done);
        std::fill_n(acc_.begin(), n * FrameRing::kStereo, 0);
        for (std::size_t i = 0; i < VoiceSlots::kSlots; ++i) {
            if (Voice* voice = slots_.slot(i)) {
                const std::uint64_t before = voice->underruns();
                voice->mixInto(acc_.data(), n, at + done);
                underruns += voice->underruns() - before;
            }
        }
        std::int16_t* dst = out + done * FrameRing::kStereo;
        for (std::size_t i = 0; i < n * FrameRing::kStereo; ++i) {
            dst[i] = static_cast<std::int16_t>(std::clamp(acc_[i], kSampleMin, kSampleMax));
        }
        done += n;
    }
    mixed_.store(at + frames, std::memory_order_release);
    slots_.leave();
    if (underruns > 0) {
        stats_.addUnderruns(underruns);
    }
    stats_.record(t0, NowNs() - t0);
}

}  // namespace tarvel::audio
