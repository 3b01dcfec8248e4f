// One channel of the engine: a decode-only source, or the tempo stream around one.
//
// Threads: the user-interface thread, the scan thread and the mixing thread call in. Every
// virtual member and every non-atomic field is guarded by mutex(), which is recursive so that a
// sync callback, run by the reading thread with the lock held, may seek or stop its own channel.
// The mixing thread only ever try-locks it (retrying for a short while), never blocks on it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "audio/PlaybackHistory.h"
#include "audio/RateConverter.h"
#include "audio/SyncList.h"
#include "audio/bass.h"

namespace tarvel::audio {

enum class ChannelKind { Stream, Music, Tempo };

class Channel {
  public:
    using Mutex = std::recursive_mutex;

    Channel(ChannelKind kind, DWORD flags) : kind_(kind), flags_(flags) {}
    virtual ~Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    Mutex& mutex() const { return mutex_; }
    ChannelKind kind() const { return kind_; }
    DWORD flags() const { return flags_; }
    bool decodeOnly() const { return (flags_ & BASS_STREAM_DECODE) != 0; }
    bool loops() const { return (flags_ & BASS_SAMPLE_LOOP) != 0; }

    // Handle under which the channel is registered (for sync callbacks); set once after creation.
    void setHandle(HCHANNEL handle) { handle_ = handle; }
    HCHANNEL handle() const { return handle_; }

    // ---- with mutex() held ----
    virtual std::uint32_t rate() const = 0;
    virtual std::uint32_t channels() const = 0;
    virtual std::uint32_t sourceKind() const = 0;
    virtual std::uint64_t lengthFrames() const = 0;
    // Source frame of the next frame this channel hands out.
    virtual std::uint64_t positionFrames() const = 0;
    // Positions the channel at a source frame (<= length). A seek made by a sync callback of this
    // channel continues the stream seamlessly; any other seek starts afresh.
    virtual bool seek(std::uint64_t frame) = 0;
    // Up to `frames` frames (channels() samples each), firing syncs on the way. Fewer than asked
    // only when the source ended or a sync callback stopped the channel.
    virtual std::size_t read(std::int16_t* out, std::size_t frames) = 0;
    // Data remains (decode-only activity).
    virtual bool hasData() const = 0;
    // Releases the decoder and buffers; the channel is dead afterwards.
    virtual void release() = 0;
    // Play or stop from outside a sync callback: whatever a callback's stop left pending is
    // dropped, so that playing goes on from the position the channel reports.
    virtual void cancelPendingStop() { clearStopFromSync(); }

    // A source owned by a tempo stream: its own handle refuses every operation meanwhile.
    bool owned = false;

    SyncList& syncs() { return syncs_; }
    bool released() const { return released_; }
    // True while a sync callback of this channel runs (on the thread holding the lock).
    bool inSyncCallback() const { return syncDepth_ > 0; }
    // Runs the syncs of `type` due at `frame`; stops early if a callback freed the channel.
    void fireSyncs(DWORD type, std::uint64_t frame);
    // Stop asked for by a sync callback: the reader finishes the audio before the sync, then stops.
    void requestStopFromSync() { stopFromSync_ = true; }
    bool stopFromSyncRequested() const { return stopFromSync_; }
    void clearStopFromSync() { stopFromSync_ = false; }
    // Tells the mixer to drop its converter state and history (after a seek that starts afresh).
    void markDiscontinuity() { discontinuity_ = true; }
    bool takeDiscontinuity() {
        const bool d = discontinuity_;
        discontinuity_ = false;
        return d;
    }

    // Mixer-side state of a playing channel (guarded by mutex()).
    PlaybackHistory& history() { return history_; }
    RateConverter& converter() { return converter_; }

    // ---- lock-free ----
    std::atomic<bool> playing{false};
    std::atomic<int> volume{100};  // 0..100
    std::atomic<int> pan{0};       // -100 (left) .. +100 (right)

  protected:
    void markReleased() { released_ = true; }

  private:
    mutable Mutex mutex_;
    const ChannelKind kind_;
    const DWORD flags_;
    HCHANNEL handle_ = 0;
    SyncList syncs_;
    int syncDepth_ = 0;
    bool stopFromSync_ = false;
    bool discontinuity_ = false;
    bool released_ = false;
    PlaybackHistory history_;
    RateConverter converter_;
};

}  // namespace tarvel::audio
