// The engine behind the BASS_* operations: the channel and sync tables and the output.
//
// One engine per process (the operations carry no context). Every member is thread-safe.
#pragma once

#include <memory>
#include <mutex>

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

    // Syncs: a table of their handles, each knowing its channel.
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

// Internal: a stream over any decoder (the file, memory and CD forms, and tests' own sources).
HSTREAM CreateStream(std::unique_ptr<Decoder> decoder, DWORD flags, ChannelKind kind);

}  // namespace tarvel::audio
