// A scripted audio layer for the overview tests: sources are described by their length, format
// and level readings; every call is recorded. Thread-safe (the scan thread and the test thread
// call in at the same time).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "player/AudioPort.h"

namespace tarvel::overview::testing {

// Bytes one level reading consumes: 20 ms of 44.1 kHz 16-bit stereo.
inline constexpr QWORD kReadingBytes = 3528;

enum class FakeKind { Stream, Music, Cd, Memory, Tempo };

struct FakeSource {
    QWORD length = 0;
    DWORD freq = 44100;
    DWORD chans = 2;
    DWORD flags = 0;
    // The level word of the i-th reading (0-based).
    std::function<DWORD(std::uint64_t)> level = [](std::uint64_t) { return DWORD{0}; };
    // Only the module loader opens it.
    bool module = false;
    // CD track: GetData delivers this many bytes in all (may exceed `length`); 0 = `length`.
    QWORD cdDelivers = 0;
};

struct FakeSync {
    DWORD channel;
    DWORD type;
    QWORD param;
    SYNCPROC* proc;
    void* user;
};

class FakeAudio final : public AudioPort {
  public:
    // Registers a file that the open calls find by name.
    void AddFile(const std::string& name, FakeSource source);
    // A tempo channel over a stream of `source`, as a load leaves PlayChannel.
    DWORD MakePlayChannel(FakeSource source);

    // Slows every level reading and data read down (for the cancellation tests).
    std::atomic<int> readDelayUs{0};
    // Refuse SetPosition to anything but 0.
    std::atomic<bool> refuseSeeks{false};

    // Observations.
    std::atomic<int> scanOpens{0};
    std::atomic<int> levelReads{0};
    bool IsOpen(DWORD handle);
    int OpenCount();
    FakeKind KindOf(DWORD handle);
    DWORD SourceOf(DWORD tempo);
    const std::uint8_t* MemoryOf(DWORD handle);
    QWORD MemoryLength(DWORD handle);
    int VolumeOf(DWORD handle);
    std::map<DWORD, DWORD> OptionsOf(DWORD handle);
    std::vector<FakeSync> Syncs();
    // Channels the scan asked to decode ahead, in order.
    std::vector<DWORD> DecodeAheads();
    std::vector<HSYNC> RemovedSyncs();
    std::vector<QWORD> Seeks(DWORD handle);
    void SetPosition(DWORD handle, QWORD pos);
    std::vector<DWORD> Freed();

    QWORD ChannelGetLength(DWORD handle) override;
    QWORD ChannelSeconds2Bytes(DWORD handle, float secs) override;
    BOOL ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) override;
    BOOL ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) override;
    BOOL ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) override;
    DWORD ChannelIsActive(DWORD handle) override;
    DWORD ChannelGetLevel(DWORD handle) override;
    QWORD ChannelGetPosition(DWORD handle) override;
    BOOL ChannelSetPosition(DWORD handle, QWORD pos) override;
    DWORD ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    HSYNC ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                         void* user) override;
    BOOL ChannelRemoveSync(DWORD handle, HSYNC sync) override;
    BOOL ChannelDecodeAhead(DWORD handle) override;
    HSTREAM StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                             DWORD flags) override;
    HMUSIC MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                     DWORD freq) override;
    HSTREAM CdStreamCreateFile(const char* file, DWORD flags) override;
    BOOL StreamFree(HSTREAM handle) override;
    BOOL MusicFree(HMUSIC handle) override;
    HSTREAM FxTempoCreate(DWORD chan, DWORD flags) override;
    BOOL FxTempoSetOption(DWORD chan, DWORD option, DWORD value) override;

  private:
    struct Channel {
        Channel(FakeKind k, FakeSource s) : kind(k), source(std::move(s)) {}
        FakeKind kind;
        FakeSource source;
        QWORD pos = 0;
        std::uint64_t readings = 0;
        DWORD flags = 0;
        const std::uint8_t* memory = nullptr;
        DWORD wrapped = 0;  // tempo: its source
        int volume = -1;
        std::map<DWORD, DWORD> options;
        std::vector<QWORD> seeks;
    };
    DWORD Open(Channel channel);
    Channel* Find(DWORD handle);
    void Delay() const;

    std::mutex mutex_;
    std::map<std::string, FakeSource> files_;
    std::map<DWORD, Channel> channels_;
    std::vector<FakeSync> syncs_;
    std::vector<HSYNC> removedSyncs_;
    std::vector<DWORD> freed_;
    std::vector<DWORD> decodeAheads_;
    DWORD next_ = 100;
};

// The level word for left `l` and right `r`.
constexpr DWORD Level(DWORD l, DWORD r) {
    return l | (r << 16);
}

}  // namespace tarvel::overview::testing
