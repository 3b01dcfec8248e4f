// One channel of the engine: a decode-only source, or the tempo stream around one.
//
// Threads: the user-interface thread, the scan thread and the engine's render thread call in.
// Every virtual member and every non-atomic field is guarded by mutex(), which is recursive so
// that a sync callback, run by the reading thread with the lock held, may seek or stop its own
// channel. The device callback never touches a channel: it sees only the channel's voice.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/SyncList.h"
#include "audio/bass.h"

namespace tarvel::audio {

class Voice;

// Stream and Music are decode channels (DecodeChannel), Tempo a tempo stream (TempoChannel).
enum class ChannelKind { Stream, Music, Tempo };

// What a read does when the source has nothing for the moment (a CD drive catching up): wait for
// it (a decode-only channel read by its own thread, such as the scan), or return early with
// stalled() set (the render thread, which plays silence meanwhile and asks again).
enum class SourceWait { Wait, Return };

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
    // Source frame the channel reads next from its source (ahead of positionFrames() by what a
    // tempo stream holds): where syncs are judged.
    virtual std::uint64_t inputPositionFrames() const { return positionFrames(); }
    // Up to `frames` frames (channels() samples each), firing syncs on the way. Fewer than asked
    // only when the source ended, a sync callback stopped the channel, or (SourceWait::Return)
    // the source had nothing for the moment, which stalled() then tells.
    virtual std::size_t read(std::int16_t* out, std::size_t frames, SourceWait wait) = 0;
    // The last read returned early because the source had nothing for the moment.
    virtual bool stalled() const = 0;
    // Data remains (decode-only activity).
    virtual bool hasData() const = 0;
    // Releases the decoder and buffers; the channel is dead afterwards.
    virtual void release() = 0;
    // The channel will be read straight through by a reader of its own: decode ahead on up to
    // `threads` helper threads where the source allows it. True if it does from now on.
    virtual bool decodeAhead(unsigned threads) {
        (void)threads;
        return false;
    }
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
    // Runs the position syncs set after `frame` (the source ended there, short of them).
    void firePositionSyncsPast(std::uint64_t frame);
    // Stop asked for by a sync callback: the reader finishes the audio before the sync, then stops.
    void requestStopFromSync() { stopFromSync_ = true; }
    bool stopFromSyncRequested() const { return stopFromSync_; }
    void clearStopFromSync() { stopFromSync_ = false; }
    // Sync callbacks run so far: a render step that sees this change did not render one
    // straight run of the source.
    std::uint64_t syncsFired() const { return syncsFired_; }

    // The mixer's state for this channel once it has played (null before; decode-only and scan
    // channels never get one). Set by the mixer.
    const std::shared_ptr<Voice>& voice() const { return voice_; }
    void setVoice(std::shared_ptr<Voice> voice) { voice_ = std::move(voice); }

    // ---- lock-free ----
    // Started and not stopped; stays true while audio rendered before an end or a sync's stop
    // is still to be heard (the mixer clears it once that has left the ring).
    std::atomic<bool> playing{false};
    std::atomic<int> volume{100};  // 0..100
    std::atomic<int> pan{0};       // -100 (left) .. +100 (right)

  protected:
    void markReleased() { released_ = true; }

  private:
    void run(const std::vector<Sync>& syncs);

    mutable Mutex mutex_;
    const ChannelKind kind_;
    const DWORD flags_;
    HCHANNEL handle_ = 0;
    SyncList syncs_;
    int syncDepth_ = 0;
    bool stopFromSync_ = false;
    bool released_ = false;
    std::uint64_t syncsFired_ = 0;
    std::shared_ptr<Voice> voice_;
};

}  // namespace tarvel::audio
