// The audio engine's public interface: decoding, tempo change, CD tracks, mixing and output.
//
// The operations keep the names, flags and calling conventions the player is written against.
// Conventions shared by every operation:
//  - handles are 32-bit, 0 is never valid; an operation given 0 or a stale handle fails without
//    effect (BOOL 0, handle 0, or the documented error value);
//  - lengths and positions are 64-bit byte counts of 16-bit interleaved PCM of the channel's
//    source (one second = rate x channels x 2 bytes); a failed length or position query returns
//    BASS_ERROR_QWORD (all 64 bits set);
//  - every operation may be called from any thread: the UI thread, the scan thread and, through a
//    sync callback, the render thread call in concurrently.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;

using HCHANNEL = DWORD;
using HSTREAM = DWORD;
using HMUSIC = DWORD;
using HSYNC = DWORD;

inline constexpr QWORD BASS_ERROR_QWORD = ~QWORD{0};
inline constexpr DWORD BASS_ERROR_DWORD = ~DWORD{0};

// Creation flags.
inline constexpr DWORD BASS_SAMPLE_8BITS = 1;
inline constexpr DWORD BASS_SAMPLE_LOOP = 4;
inline constexpr DWORD BASS_STREAM_PRESCAN = 0x20000;
inline constexpr DWORD BASS_STREAM_DECODE = 0x200000;
inline constexpr DWORD BASS_MUSIC_RAMP = 0x200;
inline constexpr DWORD BASS_MUSIC_PRESCAN = BASS_STREAM_PRESCAN;
inline constexpr DWORD BASS_MUSIC_DECODE = BASS_STREAM_DECODE;
inline constexpr DWORD BASS_FX_FREESOURCE = 0x10000;

// Activity states.
inline constexpr DWORD BASS_ACTIVE_STOPPED = 0;
inline constexpr DWORD BASS_ACTIVE_PLAYING = 1;
inline constexpr DWORD BASS_ACTIVE_STALLED = 2;
inline constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Sync types.
inline constexpr DWORD BASS_SYNC_POS = 0;
inline constexpr DWORD BASS_SYNC_END = 2;
inline constexpr DWORD BASS_SYNC_MIXTIME = 0x40000000;

// BASS_ChannelSetAttributes arguments that leave the rate, the volume or the pan as they are.
inline constexpr int BASS_ATTRIB_KEEP_FREQ = -1;
inline constexpr int BASS_ATTRIB_KEEP_VOLUME = -1;
inline constexpr int BASS_ATTRIB_KEEP_PAN = -101;

// The configuration option the player sets to 1 once after BASS_Init; what it tunes is the
// engine's affair (this one only accepts it).
inline constexpr DWORD BASS_CONFIG_PLAYER = 0x10500;

// Tempo options.
inline constexpr DWORD BASS_FX_TEMPO_OPTION_SEQUENCE_MS = 3;
inline constexpr DWORD BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS = 4;

// The version this engine reports: a 2.3 build not older than 2.3.0.3.
inline constexpr DWORD BASS_VERSION_REPORTED = 0x02030003;

struct BASS_CHANNELINFO {
    DWORD freq;   // sample rate in Hz
    DWORD chans;  // channel count
    DWORD flags;  // BASS_SAMPLE_8BITS etc.; never 8-bit here (output is always 16-bit)
    DWORD ctype;  // kind of source (informational)
};

// Sync callback: runs on the engine's render thread, which renders playing channels about half a
// second ahead of the device (or, for a decode-only channel, on the thread that is reading it),
// at the exact sample the sync stands for, before that sample is heard. It may seek or stop
// `channel`: a seek continues the stream from the very next frame; a stop lets out everything
// before the sync, and the channel reports playing until that has been heard.
// `user` is the pointer handed to BASS_ChannelSetSync (a pointer, since 32 bits cannot hold one).
using SYNCPROC = void(HSYNC handle, DWORD channel, DWORD data, void* user);

// ---- Library ----
DWORD BASS_GetVersion();
// device -1 = default output. Opens the output device (16-bit stereo at `freq`); 0 if none opens.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid);
BOOL BASS_SetConfig(DWORD option, DWORD value);
// Stops the render thread, closes the device and releases every channel still open.
BOOL BASS_Free();

// ---- Sources ----
// mem false: `file` is a UTF-8 path (offset and length 0). mem true: `file` points at `length`
// bytes read in place for the stream's whole life (a WAV image; RIFF and data sizes of 0 mean
// "to the end of the block").
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
// freq 0 = the engine's rate (44100).
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                      DWORD freq);
// Audio-CD track named by a ".cda" stub file.
HSTREAM BASS_CD_StreamCreateFile(const char* file, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

// ---- Channels ----
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
// Any out-pointer may be null.
BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan);
// volume 0..100; the BASS_ATTRIB_KEEP_* values leave a setting as it is.
BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
QWORD BASS_ChannelGetLength(DWORD handle);
// Playing channel: the source position of the audio being heard now.
QWORD BASS_ChannelGetPosition(DWORD handle);
// From outside a sync callback, on a playing channel: the audio rendered ahead is dropped and
// rendering starts afresh at `pos` at once.
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float secs);
// BASS_ACTIVE_STALLED: playing, but its source (a CD drive catching up) has nothing yet and
// everything rendered has been played; silence until the source delivers, then on from there.
DWORD BASS_ChannelIsActive(DWORD handle);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
// From outside a sync callback: silent from the next device buffer on, and the position stays at
// the frame that was being heard, where the next play goes on.
BOOL BASS_ChannelStop(DWORD handle);
// Left peak in the low word, right in the high word, 0..32768; BASS_ERROR_DWORD on failure.
// Decode-only channel: measures and consumes the next 20 ms. Playing channel: the last 20 ms heard.
DWORD BASS_ChannelGetLevel(DWORD handle);
// Decode-only channel: reads up to `length` bytes; returns the count or BASS_ERROR_DWORD.
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);

// This engine's own addition: `handle`, a decode-only stream, is about to be read straight
// through by its reader (the overview scan); its source is decoded ahead on helper threads, one
// per core, where the format allows it exactly. The frames read are the same either way. 0 if
// the channel stays sequential (a module, a CD track, PCM, one core, a short source).
BOOL BASS_ChannelDecodeAhead(DWORD handle);

// ---- Tempo ----
// Wraps a decode-only source in a playable tempo stream. With BASS_FX_FREESOURCE freeing the
// tempo stream frees its source. On failure returns 0 and leaves the source open.
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);
// tempo: change in percent (-50 .. +300 used); samplerate and pitch are kept as given.
BOOL BASS_FX_TempoSet(DWORD chan, float tempo, float samplerate, float pitch);
BOOL BASS_FX_TempoSetOption(DWORD chan, DWORD option, DWORD value);
