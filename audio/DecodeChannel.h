// A decode-only channel over one Decoder: the stream, music and CD channels, and the source that
// a tempo stream owns.
#pragma once

#include <memory>

#include "audio/Channel.h"
#include "audio/Decoder.h"
#include "audio/SeamSplice.h"

namespace tarvel::audio {

class DecodeChannel final : public Channel {
  public:
    DecodeChannel(ChannelKind kind, DWORD flags, std::unique_ptr<Decoder> decoder);

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint32_t sourceKind() const override { return sourceKind_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint64_t positionFrames() const override { return position_; }
    // A seek made by a sync callback of this playing channel is a loop seam: it is spliced
    // (seekSpliced); any other starts afresh.
    bool seek(std::uint64_t frame) override;
    // Jumps to `frame` the way a loop seam does: the audio that would have followed the current
    // position is crossfaded into the first frames read from the new one.
    bool seekSpliced(std::uint64_t frame);
    std::size_t read(std::int16_t* out, std::size_t frames, SourceWait wait) override {
        // Stopped by a sync: nothing more until the channel is played or moved again.
        return stopFromSyncRequested() ? 0 : readSynced(out, frames, *this, false, wait);
    }
    bool stalled() const override { return stalled_; }
    bool hasData() const override { return !released() && !ended_ && position_ < length_; }
    void release() override;
    // Only the stream kind: modules and CD tracks cannot be split and stay sequential.
    bool decodeAhead(unsigned threads) override;

    // Up to `frames` frames from the current position without moving it and without syncs;
    // fewer if the source has nothing more for the moment (it is not waited for).
    std::size_t peek(std::int16_t* out, std::size_t frames);

    // Reads for `owner` (this channel, or the tempo stream that owns it): stops exactly at each of
    // the owner's position syncs and at the end to run the owner's callbacks, and continues from
    // wherever they leave the source. Position syncs the source never reaches, because it ended
    // before its length, run at its end, before the end syncs. At the end a looping owner wraps
    // to 0. With `endRunAtSync` the read returns after a sync once it has frames, so that what it
    // returns is one run of consecutive source frames, starting at *runStart. `wait` says what a
    // source with nothing for the moment makes the read do.
    std::size_t readSynced(std::int16_t* out, std::size_t frames, Channel& owner, bool endRunAtSync,
                           SourceWait wait, std::uint64_t* runStart = nullptr);

  private:
    bool seekTo(std::uint64_t frame);
    // The decoder gave its end at frame `at`: the source is no longer than that.
    void endAt(std::uint64_t at);

    std::unique_ptr<Decoder> decoder_;
    const std::uint32_t rate_;
    const std::uint32_t channels_;
    const std::uint32_t sourceKind_;
    // The decoder's length, until the source ends before it: then what it delivered.
    std::uint64_t length_;
    std::uint64_t position_ = 0;
    bool ended_ = false;     // the decoder gave no more data before the length
    bool endFired_ = false;  // end syncs ran for the current stay at the end
    bool stalled_ = false;   // the last read stopped early at a "not yet"
    bool aheadTried_ = false;
    bool ahead_ = false;  // decoder_ decodes ahead on helper threads
    SeamSplice splice_;
};

}  // namespace tarvel::audio
