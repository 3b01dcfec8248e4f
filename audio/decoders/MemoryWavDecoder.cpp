#include "audio/decoders/MemoryWavDecoder.h"

#include <algorithm>
#include <cstring>

#include "audio/decoders/SampleConvert.h"
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
            out[i] = Convert(src);
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
    std::int16_t Convert(const std::uint8_t* p) const {
        switch (layout_.type) {
            case WavSampleType::kUnsigned8:
                return U8ToS16(p[0]);
            case WavSampleType::kSigned16:
                return static_cast<std::int16_t>(p[0] | (p[1] << 8));
            case WavSampleType::kSigned24: {
                const auto u = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
                // Sign-extend from 24 bits.
                const auto v = static_cast<std::int32_t>(u << 8) >> 8;
                return S24ToS16(v);
            }
            case WavSampleType::kSigned32: {
                std::uint32_t u;
                std::memcpy(&u, p, sizeof u);
                return S32ToS16(static_cast<std::int32_t>(u));
            }
            case WavSampleType::kFloat32: {
                float f;
                std::memcpy(&f, p, sizeof f);
                return FloatToS16(f);
            }
            case WavSampleType::kFloat64: {
                double d;
                std::memcpy(&d, p, sizeof d);
                return FloatToS16(d);
            }
        }
        return 0;
    }

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
