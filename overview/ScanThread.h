// TScanThread: one waveform scan on a worker thread of its own. Created running; its owner
// (ScanController) stops and joins it, so it never outlives the session or the engine.
//
// Threads: constructed, stopped and destroyed on the UI thread; Execute runs on the scan thread.
// The scan thread writes ScanTotal, ScanDone, ScanChannel (to 0), the envelope arrays (before it
// clears Scanning), and for a CD track PlayChannel, LoopSync and CdWaveImage.
#pragma once

#include <cstdint>
#include <thread>

#include "audio/bass.h"
#include "player/AudioPort.h"
#include "player/DecodeSource.h"
#include "player/PlayerSession.h"

namespace tarvel::overview {

struct ScanJob {
    // ScanChannel, with how it was opened, so that it is released with the matching call.
    DecodeSource source;
    int width = 0;
    bool isCdTrack = false;
    QWORD bytesPerPixel = 0;
    // The callback the rebuilt CD channel's loop sync calls, with its user pointer.
    SYNCPROC* loopSyncProc = nullptr;
    void* loopSyncUser = nullptr;
};

class TScanThread {
  public:
    // Starts the scan at once. The caller has raised Scanning already.
    TScanThread(AudioPort& audio, PlayerSession& session, ScanJob job);
    // Asks the scan to stop at its next step and waits for its thread.
    ~TScanThread();
    TScanThread(const TScanThread&) = delete;
    TScanThread& operator=(const TScanThread&) = delete;

    void RequestStop() { thread_.request_stop(); }

  private:
    void Execute(const std::stop_token& stop);
    void ReplacePlayChannel(const std::shared_ptr<std::vector<std::uint8_t>>& image);

    AudioPort& audio_;
    PlayerSession& session_;
    const ScanJob job_;
    std::jthread thread_;  // last: started once every other member is ready
};

}  // namespace tarvel::overview
