#include "audio/decoders/MemoryWavDecoder.h"

#include <algorithm>

#include "audio/decoders/WavImage.h"

namespace tarvel::audio {
namespace {

class MemoryWavDecoder final : public Decoder {
  public:
    MemoryWavDecoder(const std::uint8_t* data, const WavImageLayout& layout)
        : samples_(data + layout.dataOffset), layout_(layout) {}

    std::uint32_t rate() const override { return layout_.rate; }
    std::uint32_t channels() const override { return layout_.channels; }
    std::uint64_t lengthFrames() const override { return layout_.frames; }
    std::uint32_t kind() const override { return kKindWav; }

    std::size_t read(std::int16_t* out, std::size_t frames) override {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, layout_.frames - pos_));
        const std::size_t count = n * layout_.channels;
        const std::uint8_t* src = samples_ + pos_ * layout_.bytesPerFrame;
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = ConvertWavSample(layout_.type, src);
            src += layout_.bytesPerFrame / layout_.channels;
        }
        pos_ += n;
        return n;
    }

    bool seek(std::uint64_t frame) override {
        if (frame > layout_.frames) {
            return false;
        }
        pos_ = frame;
        return true;
    }

  private:
    const std::uint8_t* samples_;
    WavImageLayout layout_;
    std::uint64_t pos_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> OpenMemoryWav(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const auto layout = ParseWavImage(bytes, size);
    if (!layout) {
        return nullptr;
    }
    return std::make_unique<MemoryWavDecoder>(bytes, *layout);
}

}  // namespace tarvel::audio
