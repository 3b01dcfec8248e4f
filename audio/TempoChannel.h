// The tempo stream: owns a decode-only source and plays it faster or slower at the same pitch.
//
// It keeps the source's byte scale: its length is the source's, its position is the source
// position of the audio leaving it, seeks and sync positions are source frames. Syncs are judged
// where source frames enter the stretcher, so a callback's seek continues the stretched stream
// like continuous audio, and a callback's stop still lets out the audio up to the sync.
#pragma once

#include <memory>
#include <vector>

#include "audio/DecodeChannel.h"
#include "audio/TempoStretcher.h"

namespace tarvel::audio {

class TempoChannel final : public Channel {
  public:
    // `source` must already be marked owned; `freeSource` releases it with this stream.
    TempoChannel(DWORD flags, std::shared_ptr<DecodeChannel> source, HCHANNEL sourceHandle,
                 bool freeSource);

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint32_t sourceKind() const override { return sourceKind_; }
    // The source's: it may end short of the length its decoder gave.
    std::uint64_t lengthFrames() const override { return source_->lengthFrames(); }
    std::uint64_t positionFrames() const override;
    bool seek(std::uint64_t frame) override;
    std::uint64_t inputPositionFrames() const override;
    std::size_t read(std::int16_t* out, std::size_t frames, SourceWait wait) override;
    bool stalled() const override;
    bool hasData() const override;
    void release() override;
    void cancelPendingStop() override;

    void setTempoPercent(double percent);
    bool setOption(int id, int value);
    double speed() const { return stretcher_ ? stretcher_->speed() : 1.0; }
    double tempoPercent() const { return stretcher_->tempoPercent(); }

    // The source handle and whether it goes with this stream (the engine frees it).
    HCHANNEL sourceHandle() const { return sourceHandle_; }
    bool freesSource() const { return freeSource_; }
    std::shared_ptr<DecodeChannel> source() const { return source_; }

  private:
    void finishStopFromSync();

    std::shared_ptr<DecodeChannel> source_;
    std::unique_ptr<TempoStretcher> stretcher_;
    const HCHANNEL sourceHandle_;
    const bool freeSource_;
    const std::uint32_t rate_;
    const std::uint32_t channels_;
    const std::uint32_t sourceKind_;
    std::vector<std::int16_t> feed_;
    std::vector<std::int16_t> tail_;
    bool heldAtStop_ = false;  // a sync's stop has been let out: nothing more until moved
};

}  // namespace tarvel::audio
