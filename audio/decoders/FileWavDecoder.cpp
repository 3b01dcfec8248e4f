#include "audio/decoders/FileWavDecoder.h"

#include <algorithm>
#include <vector>

#include "audio/decoders/SourceFile.h"
#include "audio/decoders/WavImage.h"

namespace tarvel::audio {
namespace {

// The format and data chunk headers must lie within this much of the file's start.
constexpr std::size_t kHeaderSearchBytes = 1 << 20;
constexpr std::size_t kChunkFrames = 4096;

class FileWavDecoder final : public Decoder {
  public:
    FileWavDecoder(SourceFile file, const WavImageLayout& layout)
        : file_(std::move(file)), layout_(layout) {}

    std::uint32_t rate() const override { return layout_.rate; }
    std::uint32_t channels() const override { return layout_.channels; }
    std::uint64_t lengthFrames() const override { return layout_.frames; }
    std::uint32_t kind() const override { return kKindWav; }

    std::size_t read(std::int16_t* out, std::size_t frames) override {
        const std::size_t sampleBytes = layout_.bytesPerFrame / layout_.channels;
        std::size_t done = 0;
        while (done < frames && pos_ < layout_.frames) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>({frames - done, kChunkFrames, layout_.frames - pos_}));
            raw_.resize(n * layout_.bytesPerFrame);
            file_.seekTo(
                static_cast<std::int64_t>(layout_.dataOffset + pos_ * layout_.bytesPerFrame));
            // A file that shrank under us ends the stream at its last whole frame.
            const std::size_t got = file_.read(raw_.data(), raw_.size()) / layout_.bytesPerFrame;
            const std::uint8_t* src = raw_.data();
            std::int16_t* dst = out + done * layout_.channels;
            for (std::size_t i = 0; i < got * layout_.channels; ++i, src += sampleBytes) {
                dst[i] = ConvertWavSample(layout_.type, src);
            }
            done += got;
            pos_ += got;
            if (got < n) {
                break;
            }
        }
        return done;
    }

    bool seek(std::uint64_t frame) override {
        if (frame > layout_.frames) {
            return false;
        }
        pos_ = frame;
        return true;
    }

  private:
    SourceFile file_;
    WavImageLayout layout_;
    std::uint64_t pos_ = 0;
    std::vector<std::uint8_t> raw_;
};

}  // namespace

std::unique_ptr<Decoder> OpenWavFileLenient(const std::string& path) {
    auto file = SourceFile::Open(path);
    if (!file) {
        return nullptr;
    }
    const auto head = file->peek(0, kHeaderSearchBytes);
    const auto layout = ParseWavHeader(head.data(), head.size(), file->size());
    if (!layout || layout->frames == 0) {
        return nullptr;
    }
    return std::make_unique<FileWavDecoder>(std::move(*file), *layout);
}

}  // namespace tarvel::audio
