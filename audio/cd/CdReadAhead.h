// Keeps a few seconds of a CD track decoded ahead of the reader, on a thread of its own, so that
// a drive spinning up or retrying a sector stalls that thread and never the reader: a read finds
// the sectors in hand, or is told "not yet" at once.
//
// Threads: read(), seek() and waitForData() are called by the decoder's user (one thread at a
// time); the fill thread only calls the sector source. Everything shared is guarded by mutex_.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Decoder.h"
#include "audio/cd/CdSectorSource.h"

namespace tarvel::audio {

class CdReadAhead {
  public:
    explicit CdReadAhead(std::unique_ptr<CdSectorSource> source);
    ~CdReadAhead();  // stops and joins the fill thread
    CdReadAhead(const CdReadAhead&) = delete;
    CdReadAhead& operator=(const CdReadAhead&) = delete;

    std::uint64_t lengthFrames() const { return lengthFrames_; }
    // Never waits: the frames in hand, "not yet" while the drive has not delivered the next
    // sector, or the end. Unreadable sectors come out as silence so the track keeps its length.
    ReadResult read(std::int16_t* out, std::size_t frames);
    bool seek(std::uint64_t frame);
    // Waits until a read would give frames or the end, at most `limit`.
    void waitForData(std::chrono::milliseconds limit);

  private:
    void Fill(const std::stop_token& stop);

    // Sectors buffered ahead: about three seconds of audio.
    static constexpr std::size_t kBufferSectors = 225;

    const std::uint64_t lengthFrames_;
    const std::uint32_t sectors_;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::unique_ptr<CdSectorSource> source_;          // used by the fill thread only
    std::deque<std::vector<std::uint8_t>> buffered_;  // whole sectors, in order
    std::uint32_t nextSector_ = 0;                    // next sector the fill thread reads
    std::size_t skipFrames_ = 0;    // frames to drop from the front sector (after a seek)
    std::uint64_t generation_ = 0;  // bumped by seek: a sector read before it is dropped
    std::uint64_t position_ = 0;    // frame the next read() returns

    std::jthread thread_;  // last: started after, and stopped before, everything above
};

}  // namespace tarvel::audio
