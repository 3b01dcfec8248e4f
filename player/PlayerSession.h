// The one set of player state. Owned by the main window and lives as long as it.
//
// Three threads meet here:
//   UI   - the user-interface thread: every event handler and timer;
//   SCAN - the one running scan thread (overview/);
//   MIX  - the audio engine's mixing thread, through LoopSyncProc.
// Every field that more than one thread touches is an atomic; the comment on each field says who
// writes it. Fields without an atomic belong to the UI thread alone.
//
// Byte positions, lengths and counts are 64-bit: a recording of more than 4 GiB of PCM (about
// 6 h 46 min of 44.1 kHz stereo) is an ordinary audiobook or a day of lectures.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/bass.h"

namespace tarvel {

// The mixing thread reads LoopStart: it must never wait for a lock.
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

struct PlayerSession {
    // The playable tempo channel; 0 when nothing is loaded. Written by UI (load) and by SCAN when
    // a CD track is rebuilt from its memory image (a LOAD first stops and joins any scan).
    std::atomic<HSTREAM> PlayChannel{0};
    // Second decode-only channel on the same source, used by the scan only. SCAN.
    std::atomic<DWORD> ScanChannel{0};
    // Full path (UTF-8) of the loaded source. UI; the scan takes a copy when it is prepared.
    std::string CurrentFileName;
    // The source is an audio-CD track (".cda", case-sensitive). UI (LOAD only); copied to scans.
    bool IsCdTrack = false;
    // In-memory WAV image of a CD track that PlayChannel plays from. Kept alive here as long as
    // a channel may read it. SCAN (while scanning) and UI (after joining the scan).
    std::shared_ptr<std::vector<std::uint8_t>> CdWaveImage;
    // Progress of the running scan in bytes. SCAN writes, UI reads every meter tick.
    std::atomic<std::uint64_t> ScanTotal{0};
    std::atomic<std::uint64_t> ScanDone{0};
    // The one sync set on PlayChannel. UI, and SCAN for a CD rebuild.
    std::atomic<HSYNC> LoopSync{0};
    // Loop region in PlayChannel bytes. UI writes; MIX reads LoopStart.
    std::atomic<std::uint64_t> LoopStart{0};
    std::atomic<std::uint64_t> LoopEnd{0};
    // PlayChannel bytes per overview pixel column; 0 before the first scan. UI writes before a
    // scan starts; SCAN reads.
    std::atomic<std::uint64_t> BytesPerPixel{0};
    // 0 no drag, 1 the start mark follows the mouse, 2 the end mark. UI.
    int DragMode = 0;
    // Repeat play (true) or single play. UI writes; MIX reads.
    std::atomic<bool> RepeatMode{true};
    // Playback started and not stopped, reset or run out in single play. UI and MIX write.
    std::atomic<bool> Playing{false};
    // Held by the play/pause button. UI.
    std::atomic<bool> Paused{false};
    // A scan is running. Raised by UI before the scan thread starts, cleared by SCAN at its end.
    // WaveLeft/WaveRight are read by UI only while this is false (acquire/release pairs them).
    std::atomic<bool> Scanning{false};
    // The window is closing: drawing, scanning and sync actions stop. UI writes; SCAN, MIX read.
    std::atomic<bool> Closing{false};
    // Source format. UI.
    std::uint32_t SampleRate = 44100;
    std::uint32_t ChannelCount = 0;
    // Envelope per overview pixel column. SCAN writes while Scanning; UI reads otherwise.
    std::vector<std::uint16_t> WaveLeft;
    std::vector<std::uint16_t> WaveRight;
    // Interval of the refresh tick in ms. UI.
    int RefreshInterval = 20;
    // Level meter state. UI.
    int MeterLeft = 0;
    int MeterRight = 0;
    int MeterDecay = 0;
    // Copy of the volume slider's position for threads that build a channel (the CD rebuild).
    // UI writes on every slider change; SCAN reads.
    std::atomic<int> Volume{50};
};

}  // namespace tarvel
