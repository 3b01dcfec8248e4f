#include "audio/cd/CdReadAhead.h"

#include <algorithm>
#include <cstring>

namespace tarvel::audio {

CdReadAhead::CdReadAhead(std::unique_ptr<CdSectorSource> source)
    : lengthFrames_(static_cast<std::uint64_t>(source->sectors()) * kCdFramesPerSector),
      sectors_(source->sectors()),
      source_(std::move(source)),
      thread_([this](const std::stop_token& stop) { Fill(stop); }) {}

CdReadAhead::~CdReadAhead() {
    thread_.request_stop();
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void CdReadAhead::Fill(const std::stop_token& stop) {
    std::vector<std::uint8_t> sector(kCdSectorBytes);
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        const bool room = changed_.wait(lock, stop, [this] {
            return buffered_.size() < kBufferSectors && nextSector_ < sectors_;
        });
        if (!room) {
            break;  // stop requested
        }
        const std::uint32_t index = nextSector_;
        const std::uint64_t generation = generation_;
        lock.unlock();
        // The drive may take seconds here; nobody waits on the lock meanwhile.
        if (!source_->read(index, sector.data())) {
            std::fill(sector.begin(), sector.end(), std::uint8_t{0});
        }
        lock.lock();
        if (generation == generation_) {
            buffered_.push_back(sector);
            nextSector_ = index + 1;
            changed_.notify_all();
        }
    }
}

void CdReadAhead::waitForData(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit,
                      [this] { return !buffered_.empty() || position_ >= lengthFrames_; });
}

ReadResult CdReadAhead::read(std::int16_t* out, std::size_t frames) {
    constexpr std::size_t kFrameBytes = kCdChannels * sizeof(std::int16_t);
    std::unique_lock lock(mutex_);
    const auto want = static_cast<std::size_t>(
        std::min<std::uint64_t>(frames, lengthFrames_ - std::min(position_, lengthFrames_)));
    if (want == 0) {
        return ReadResult::End();
    }
    if (buffered_.empty()) {
        return ReadResult::WouldBlock();
    }
    std::size_t done = 0;
    auto* dst = reinterpret_cast<std::uint8_t*>(out);
    while (done < want && !buffered_.empty()) {
        const auto& front = buffered_.front();
        const std::size_t available = kCdFramesPerSector - skipFrames_;
        const std::size_t n = std::min(available, want - done);
        std::memcpy(dst + done * kFrameBytes, front.data() + skipFrames_ * kFrameBytes,
                    n * kFrameBytes);
        done += n;
        skipFrames_ += n;
        if (skipFrames_ == kCdFramesPerSector) {
            buffered_.pop_front();
            skipFrames_ = 0;
        }
    }
    position_ += done;
    changed_.notify_all();
    return ReadResult::Got(done);
}

bool CdReadAhead::seek(std::uint64_t frame) {
    if (frame > lengthFrames_) {
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        ++generation_;
        buffered_.clear();
        nextSector_ = static_cast<std::uint32_t>(frame / kCdFramesPerSector);
        skipFrames_ = static_cast<std::size_t>(frame % kCdFramesPerSector);
        position_ = frame;
    }
    changed_.notify_all();
    return true;
}

}  // namespace tarvel::audio
