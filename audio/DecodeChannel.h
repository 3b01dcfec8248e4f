// A decode-only channel over one Decoder: the stream, music and CD channels, and the source that
// a tempo stream owns.
#pragma once

#include <memory>

#include "audio/Channel.h"
#include "audio/Decoder.h"

namespace tarvel::audio {

class DecodeChannel final : public Channel {
  public:
    DecodeChannel(ChannelKind kind, DWORD flags, std::unique_ptr<Decoder> decoder);

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint32_t sourceKind() const override { return sourceKind_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint64_t positionFrames() const override { return position_; }
    bool seek(std::uint64_t frame) override;
    std::size_t read(std::int16_t* out, std::size_t frames) override {
        return readSynced(out, frames, *this, false);
    }
    bool hasData() const override { return !released() && !ended_ && position_ < length_; }
    void release() override;

    // Up to `frames` frames from the current position without moving it and without syncs.
    std::size_t peek(std::int16_t* out, std::size_t frames);

    // Reads for `owner` (this channel, or the tempo stream that owns it): stops exactly at each of
    // the owner's position syncs and at the end to run the owner's callbacks, and continues from
    // wherever they leave the source. At the end a looping owner wraps to 0. With
    // `endRunAtSync` the read returns after a sync once it has frames, so that what it returns is
    // one run of consecutive source frames, starting at *runStart.
    std::size_t readSynced(std::int16_t* out, std::size_t frames, Channel& owner, bool endRunAtSync,
                           std::uint64_t* runStart = nullptr);

  private:
    std::unique_ptr<Decoder> decoder_;
    const std::uint32_t rate_;
    const std::uint32_t channels_;
    const std::uint32_t sourceKind_;
    const std::uint64_t length_;
    std::uint64_t position_ = 0;
    bool ended_ = false;     // the decoder gave no more data before the length
    bool endFired_ = false;  // end syncs ran for the current stay at the end
};

}  // namespace tarvel::audio
