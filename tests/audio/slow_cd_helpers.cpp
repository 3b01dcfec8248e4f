#include "tests/audio/slow_cd_helpers.h"

#include <thread>

#include "audio/decoders/CdDecoder.h"

namespace tarvel::engine_test {

namespace {

class ScriptedSectors final : public audio::CdSectorSource {
  public:
    ScriptedSectors(std::uint32_t sectors, std::shared_ptr<SlowDrive> drive)
        : sectors_(sectors), drive_(std::move(drive)) {}
    std::uint32_t sectors() const override { return sectors_; }
    bool read(std::uint32_t index, std::uint8_t* out) override {
        if (index >= sectors_) {
            return false;
        }
        drive_->beforeRead();
        const std::uint64_t first = std::uint64_t{index} * audio::kCdFramesPerSector;
        for (std::size_t f = 0; f < audio::kCdFramesPerSector; ++f) {
            const auto l = static_cast<std::uint16_t>(CdLeft(first + f));
            const auto r = static_cast<std::uint16_t>(CdRight(first + f));
            out[f * 4] = static_cast<std::uint8_t>(l & 0xFF);
            out[f * 4 + 1] = static_cast<std::uint8_t>(l >> 8);
            out[f * 4 + 2] = static_cast<std::uint8_t>(r & 0xFF);
            out[f * 4 + 3] = static_cast<std::uint8_t>(r >> 8);
        }
        return true;
    }

  private:
    const std::uint32_t sectors_;
    std::shared_ptr<SlowDrive> drive_;
};

}  // namespace

void SlowDrive::hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void SlowDrive::release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    released_.notify_all();
}

void SlowDrive::beforeRead() {
    {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
    }
    if (const int ms = delayMs_.load(); ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    ++sectorsRead_;
}

std::int16_t CdLeft(std::uint64_t frame) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(frame & 0xFFFF));
}

std::int16_t CdRight(std::uint64_t frame) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((~frame) & 0xFFFF));
}

std::unique_ptr<audio::Decoder> MakeSlowCd(std::uint32_t sectors,
                                           std::shared_ptr<SlowDrive> drive) {
    return audio::MakeCdDecoder(std::make_unique<ScriptedSectors>(sectors, std::move(drive)));
}

}  // namespace tarvel::engine_test
