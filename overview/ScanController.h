// The waveform scan: prepares a scan when the debounce timer fires, runs it on one worker thread
// (TScanThread) and guarantees one scan at a time. A new scan, a new load or closing the window
// stops the running scan at its next step and waits for it.
#pragma once

#include <memory>

#include "audio/bass.h"
#include "player/PlayerSession.h"

namespace tarvel {
class AudioPort;
}  // namespace tarvel

namespace tarvel::overview {

class ScanController {
  public:
    explicit ScanController(PlayerSession& session);
    // The same over another audio layer (tests script sources through it).
    ScanController(PlayerSession& session, AudioPort& audio);
    ~ScanController();  // stops and joins a running scan
    ScanController(const ScanController&) = delete;
    ScanController& operator=(const ScanController&) = delete;

    // The callback (and its user pointer) that the loop sync of a CD track's rebuilt
    // PlayChannel calls: LoopSyncProc with the session unless changed (UI thread, between
    // scans).
    void SetLoopSyncProc(SYNCPROC* proc, void* user);

    // The debounce timer fired (UI thread): the caller has disabled Timer2; `width` is PB's
    // client width. Stops any running scan, derives BytesPerPixel and starts a new scan.
    void Timer2Timer(int width);
    // Stops the running scan, if any, and waits until its thread has ended (UI thread).
    void CancelAndWait();

  private:
    struct Impl;
    PlayerSession& session_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvel::overview
