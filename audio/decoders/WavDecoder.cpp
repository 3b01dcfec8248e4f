#include "audio/decoders/WavDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/decoders/WavImage.h"

namespace tarvel::audio {
namespace {

// The format and data chunk headers are looked for in the first kShortHeadBytes, then, for files
// with long metadata chunks ahead of the samples, in the first kLongHeadBytes.
constexpr std::size_t kShortHeadBytes = std::size_t{64} * 1024;
constexpr std::size_t kLongHeadBytes = std::size_t{1} << 20;
constexpr std::size_t kRiffHeadBytes = 12;
constexpr std::size_t kChunkFrames = 4096;

class WavDecoder final : public Decoder {
  public:
    WavDecoder(ByteSource src, const WavImageLayout& layout)
        : src_(std::move(src)), layout_(layout) {}

    std::uint32_t rate() const override { return layout_.rate; }
    std::uint32_t channels() const override { return layout_.channels; }
    std::uint64_t lengthFrames() const override { return layout_.frames; }
    std::uint32_t kind() const override { return kKindWav; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        const std::size_t sampleBytes = layout_.bytesPerFrame / layout_.channels;
        std::size_t done = 0;
        while (done < frames && pos_ < layout_.frames) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>({frames - done, kChunkFrames, layout_.frames - pos_}));
            raw_.resize(n * layout_.bytesPerFrame);
            src_.seekTo(
                static_cast<std::int64_t>(layout_.dataOffset + pos_ * layout_.bytesPerFrame));
            // A file that shrank under us ends the stream at its last whole frame.
            const std::size_t got = src_.read(raw_.data(), raw_.size()) / layout_.bytesPerFrame;
            const std::uint8_t* p = raw_.data();
            std::int16_t* dst = out + done * layout_.channels;
            for (std::size_t i = 0; i < got * layout_.channels; ++i, p += sampleBytes) {
                dst[i] = ConvertWavSample(layout_.type, p);
            }
            done += got;
            pos_ += got;
            if (got < n) {
                break;
            }
        }
        return ReadResult::Got(done);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > layout_.frames) {
            return false;
        }
        pos_ = frame;
        return true;
    }

  private:
    ByteSource src_;
    WavImageLayout layout_;
    std::uint64_t pos_ = 0;
    std::vector<std::uint8_t> raw_;
};

}  // namespace

OpenResult OpenWav(ByteSource src) {
    const auto riff = src.peek(0, kRiffHeadBytes);
    if (riff.size() < kRiffHeadBytes || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    std::optional<WavImageLayout> layout;
    for (const std::size_t headBytes : {kShortHeadBytes, kLongHeadBytes}) {
        const auto head = src.peek(0, headBytes);
        layout = ParseWavHeader(head.data(), head.size(), src.size());
        if (layout || head.size() < headBytes) {
            break;
        }
    }
    if (!layout) {
        // A coding this parser does not know, or chunks it cannot follow: libsndfile may.
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    return std::make_unique<WavDecoder>(std::move(src), *layout);
}

}  // namespace tarvel::audio
