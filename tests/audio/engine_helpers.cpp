#include "tests/audio/engine_helpers.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

#include "audio/CaptureOutput.h"
#include "audio/Engine.h"
#include "player/PlayChannelBuild.h"

namespace tarvel::engine_test {

namespace {
// Samples held in memory; the stalling decoders below are these with slow reads.
class PcmDecoder : public audio::Decoder {
  public:
    explicit PcmDecoder(test::Pcm pcm) : pcm_(std::move(pcm)), length_(pcm_.frames()) {}
    PcmDecoder(test::Pcm pcm, std::uint64_t claimedFrames)
        : pcm_(std::move(pcm)), length_(claimedFrames) {}
    std::uint32_t rate() const override { return pcm_.rate; }
    std::uint32_t channels() const override { return pcm_.channels; }
    std::uint64_t lengthFrames() const override { return length_; }
    audio::ReadResult read(std::int16_t* out, std::size_t frames) override {
        const std::size_t n = std::min<std::size_t>(frames, pcm_.frames() - pos_);
        std::copy_n(pcm_.samples.begin() + static_cast<std::ptrdiff_t>(pos_ * pcm_.channels),
                    n * pcm_.channels, out);
        pos_ += n;
        return audio::ReadResult::Got(n);
    }
    bool seek(std::uint64_t frame) override {
        if (frame > pcm_.frames()) {
            return false;
        }
        pos_ = frame;
        return true;
    }
    std::uint32_t kind() const override { return audio::kKindWav; }

  private:
    test::Pcm pcm_;
    std::uint64_t length_;
    std::size_t pos_ = 0;
};
class StallingDecoder final : public PcmDecoder {
  public:
    StallingDecoder(test::Pcm pcm, std::chrono::milliseconds stall, std::chrono::milliseconds every)
        : PcmDecoder(std::move(pcm)), stall_(stall), every_(every) {}
    audio::ReadResult read(std::int16_t* out, std::size_t frames) override {
        const auto now = std::chrono::steady_clock::now();
        if (!last_ || now - *last_ >= every_) {
            last_ = now;
            std::this_thread::sleep_for(stall_);
        }
        return PcmDecoder::read(out, frames);
    }

  private:
    const std::chrono::milliseconds stall_;
    const std::chrono::milliseconds every_;
    std::optional<std::chrono::steady_clock::time_point> last_;
};

class StallAfterSeekDecoder final : public PcmDecoder {
  public:
    StallAfterSeekDecoder(test::Pcm pcm, std::chrono::milliseconds stall, std::uint64_t afterFrames,
                          std::shared_ptr<std::atomic<int>> stalls)
        : PcmDecoder(std::move(pcm)),
          stall_(stall),
          after_(afterFrames),
          stalls_(std::move(stalls)) {}
    audio::ReadResult read(std::int16_t* out, std::size_t frames) override {
        if (armed_ && sinceSeek_ >= after_) {
            armed_ = false;
            stalls_->fetch_add(1);
            std::this_thread::sleep_for(stall_);
        }
        const audio::ReadResult r = PcmDecoder::read(out, frames);
        sinceSeek_ += r.frames();
        return r;
    }
    bool seek(std::uint64_t frame) override {
        armed_ = true;
        sinceSeek_ = 0;
        return PcmDecoder::seek(frame);
    }

  private:
    const std::chrono::milliseconds stall_;
    const std::uint64_t after_;
    const std::shared_ptr<std::atomic<int>> stalls_;
    bool armed_ = false;
    std::uint64_t sinceSeek_ = 0;
};

constexpr std::uint16_t kNumberMark = 0x4000;
constexpr std::uint64_t kLowBits = 16;
constexpr std::uint64_t kHighMask = 0x3FFF;
}  // namespace

HSTREAM OpenWavStream(const test::TempDir& dir, const test::Pcm& pcm, const char* name,
                      DWORD flags) {
    const std::filesystem::path path = dir.file(name);
    test::WriteWav(path, pcm);
    return BASS_StreamCreateFile(0, path.c_str(), 0, 0, flags);
}

std::unique_ptr<audio::Decoder> MakePcmDecoder(test::Pcm pcm) {
    return std::make_unique<PcmDecoder>(std::move(pcm));
}

std::unique_ptr<audio::Decoder> MakeShortDecoder(test::Pcm pcm, std::uint64_t claimedFrames) {
    return std::make_unique<PcmDecoder>(std::move(pcm), claimedFrames);
}

HSTREAM OpenPcmStream(test::Pcm pcm, DWORD flags) {
    return audio::CreateStream(MakePcmDecoder(std::move(pcm)), flags, audio::ChannelKind::Stream);
}

std::vector<std::int16_t> ReadAllData(DWORD handle, DWORD chunkBytes) {
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buf(chunkBytes / 2 + 1);
    for (;;) {
        const DWORD got = BASS_ChannelGetData(handle, buf.data(), chunkBytes);
        if (got == BASS_ERROR_DWORD || got == 0) {
            break;
        }
        all.insert(all.end(), buf.begin(), buf.begin() + got / 2);
    }
    return all;
}

test::Pcm MonoSine(std::uint32_t rate, std::size_t frames, double freqHz, double amplitude) {
    test::Pcm pcm{rate, 1, {}};
    pcm.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        pcm.samples[i] = static_cast<std::int16_t>(
            std::lround(amplitude * 32767.0 *
                        std::sin(2.0 * std::numbers::pi * freqHz * static_cast<double>(i) / rate)));
    }
    return pcm;
}

}  // namespace tarvel::engine_test

namespace tarvel::engine_test {

test::Pcm FrameNumbers(std::uint32_t rate, std::size_t frames) {
    test::Pcm pcm{rate, 2, {}};
    pcm.samples.resize(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        pcm.samples[f * 2] = static_cast<std::int16_t>(static_cast<std::uint16_t>(f & 0xFFFF));
        pcm.samples[f * 2 + 1] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(kNumberMark | ((f >> kLowBits) & kHighMask)));
    }
    return pcm;
}

std::optional<std::uint64_t> FrameNumberOf(std::int16_t left, std::int16_t right) {
    const auto r = static_cast<std::uint16_t>(right);
    if ((r & 0xC000) != kNumberMark) {
        return std::nullopt;
    }
    return (std::uint64_t{r & kHighMask} << kLowBits) | static_cast<std::uint16_t>(left);
}

std::unique_ptr<audio::Decoder> MakeStallingDecoder(test::Pcm pcm, std::chrono::milliseconds stall,
                                                    std::chrono::milliseconds every) {
    return std::make_unique<StallingDecoder>(std::move(pcm), stall, every);
}

std::unique_ptr<audio::Decoder> MakeDecoderStallingAfterSeeks(
    test::Pcm pcm, std::chrono::milliseconds stall, std::uint64_t afterFrames,
    std::shared_ptr<std::atomic<int>> stalls) {
    return std::make_unique<StallAfterSeekDecoder>(std::move(pcm), stall, afterFrames,
                                                   std::move(stalls));
}

HSTREAM OpenDecoderStream(std::unique_ptr<audio::Decoder> decoder) {
    return audio::CreateStream(std::move(decoder), BASS_STREAM_DECODE, audio::ChannelKind::Stream);
}

void SetStretchOptions(HSTREAM tempo) {
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, kTempoSequenceMs);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, kTempoSeekWindowMs);
}

HSTREAM PlayerTempo(HSTREAM source, DWORD flags, int speedPercent) {
    const HSTREAM tempo = BASS_FX_TempoCreate(source, flags);
    SetStretchOptions(tempo);
    BASS_ChannelSetAttributes(tempo, -1, 100, -101);
    DWORD rate = 44100;
    BASS_ChannelGetAttributes(tempo, &rate, nullptr, nullptr);
    BASS_FX_TempoSet(tempo, static_cast<float>(speedPercent - 100), static_cast<float>(rate), 0.0f);
    SetStretchOptions(tempo);
    return tempo;
}

std::vector<std::int16_t> RenderLeftWhilePlaying(HSTREAM h, std::size_t maxFrames,
                                                 std::size_t blockFrames, bool cutSilentEnd) {
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> block(blockFrames * 2);
    while (left.size() < maxFrames && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
        audio::CaptureRender(block.data(), blockFrames);
        for (std::size_t f = 0; f < blockFrames; ++f) {
            left.push_back(block[f * 2]);
        }
    }
    while (cutSilentEnd && !left.empty() && left.back() == 0 &&
           BASS_ChannelIsActive(h) != BASS_ACTIVE_PLAYING) {
        left.pop_back();
    }
    return left;
}

}  // namespace tarvel::engine_test
