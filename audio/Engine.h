// The engine behind the BASS_* operations: the channel and sync tables and the output.
//
// One engine per process (the operations carry no context). Every member is thread-safe.
//
// Threads: the user-interface thread and the scan thread call the operations; the render thread
// (audio/RenderThread.h, or the capture output's caller) renders the playing channels and runs
// their mix-time sync callbacks; the device callback only mixes rendered audio (audio/Voice.h).
//
// Lock order. A lock may be taken while the locks above it in this list are held, never the
// other way round:
//   1. a channel's mutex (recursive: a sync callback, run by the render thread with its channel
//      locked, may seek or stop that channel). A tempo stream's lock also guards the source it
//      owns: the owned source is only touched through the tempo stream, with the tempo stream's
//      lock held, and its own lock is taken after it (free, tempo creation). No thread holds the
//      locks of two channels that are not such a pair, so a sync callback acts on its own
//      channel only;
//   2. the mixer's voice list (Mixer::listMutex_), taken briefly by play, stop and free; the
//      render thread copies the list and lets go of it before it locks any channel;
//   3. leaves, taken briefly and never while calling out: the handle tables, outputMutex_, the
//      mixer's wake-up mutex, a CD track's read-ahead mutex (under a channel lock when read).
// The device callback takes none of them. SDL's own device lock is taken only by SDL around the
// callback and by opening and closing the device, which the render thread does holding no lock.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "audio/Channel.h"
#include "audio/Decoder.h"
#include "audio/HandleTable.h"
#include "audio/Output.h"
#include "audio/bass.h"

namespace tarvel::audio {

class Engine {
  public:
    static Engine& instance();
    ~Engine();

    // Registers a channel; 0 if the table is full.
    DWORD add(const std::shared_ptr<Channel>& channel);
    // The channel of `handle`, whether or not it is usable.
    std::shared_ptr<Channel> find(DWORD handle) const { return channels_.find(handle); }
    // Frees a channel of the given kinds (a tempo stream takes its source along if it owns it).
    bool free(DWORD handle, bool streams, bool music);
    void freeAll();

    // Syncs: a table of their handles, each knowing its channel. `channel` is locked by the
    // caller; a playing channel's audio rendered ahead is rendered again if the sync changes it.
    HSYNC addSync(Channel& channel, DWORD type, std::uint64_t frame, SYNCPROC* proc, void* user);
    bool removeSync(DWORD channel, HSYNC sync);

    // Output (null when none is open).
    bool openOutput(std::unique_ptr<Output> output);
    void closeOutput();
    std::shared_ptr<Output> output() const;

  private:
    Engine() = default;
    void releaseLocked(Channel& channel);

    HandleTable<Channel> channels_;
    HandleTable<DWORD> syncs_;  // sync handle -> channel handle
    mutable std::mutex outputMutex_;
    std::shared_ptr<Output> output_;  // guarded by outputMutex_
};

// A usable channel, locked for the caller's scope: found, not released, not owned by a tempo
// stream. Tests false otherwise.
class LockedChannel {
  public:
    explicit LockedChannel(DWORD handle);
    explicit operator bool() const { return channel_ != nullptr; }
    Channel* operator->() const { return channel_.get(); }
    Channel& operator*() const { return *channel_; }
    const std::shared_ptr<Channel>& shared() const { return channel_; }

  private:
    std::shared_ptr<Channel> channel_;
    std::unique_lock<Channel::Mutex> lock_;
};

// Internal, for tests: the handles of the syncs set on a channel (empty for a bad handle).
std::vector<HSYNC> SyncsOf(DWORD handle);

// Internal: a stream over any decoder (the file, memory and CD forms, and tests' own sources).
HSTREAM CreateStream(std::unique_ptr<Decoder> decoder, DWORD flags, ChannelKind kind);

}  // namespace tarvel::audio
