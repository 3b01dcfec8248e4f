// The audio library calls the player and the overview make (loading, scan, refresh tick, meter)
// behind one interface, so that tests can script a source's length, positions and level readings
// exactly. The program uses BassAudioPort, which forwards every call to the engine unchanged.
//
// Every method may be called from the UI thread and from the scan thread at the same time;
// implementations must be thread-safe for calls on different handles.
#pragma once

#include "audio/bass.h"

namespace tarvel {

// The `mem` argument of StreamCreateFile: the source is a block of memory.
inline constexpr BOOL kFromMemory = 1;

class AudioPort {
  public:
    virtual ~AudioPort() = default;

    virtual QWORD ChannelGetLength(DWORD handle) = 0;
    virtual QWORD ChannelSeconds2Bytes(DWORD handle, float secs) = 0;
    virtual BOOL ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) = 0;
    virtual BOOL ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) = 0;
    virtual BOOL ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) = 0;
    virtual DWORD ChannelIsActive(DWORD handle) = 0;
    virtual DWORD ChannelGetLevel(DWORD handle) = 0;
    virtual QWORD ChannelGetPosition(DWORD handle) = 0;
    virtual BOOL ChannelSetPosition(DWORD handle, QWORD pos) = 0;
    virtual DWORD ChannelGetData(DWORD handle, void* buffer, DWORD length) = 0;
    virtual HSYNC ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                 void* user) = 0;
    virtual BOOL ChannelRemoveSync(DWORD handle, HSYNC sync) = 0;
    // The engine's own addition (BASS_ChannelDecodeAhead): the scan reads `handle` through.
    virtual BOOL ChannelDecodeAhead(DWORD handle) = 0;

    virtual HSTREAM StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD flags) = 0;
    virtual HMUSIC MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                             DWORD freq) = 0;
    virtual HSTREAM CdStreamCreateFile(const char* file, DWORD flags) = 0;
    virtual BOOL StreamFree(HSTREAM handle) = 0;
    virtual BOOL MusicFree(HMUSIC handle) = 0;

    virtual HSTREAM FxTempoCreate(DWORD chan, DWORD flags) = 0;
    virtual BOOL FxTempoSetOption(DWORD chan, DWORD option, DWORD value) = 0;
};

// Forwards to the engine's BASS_* operations.
class BassAudioPort final : public AudioPort {
  public:
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
};

// The process-wide forwarder (it holds no state).
AudioPort& DefaultAudioPort();

}  // namespace tarvel
