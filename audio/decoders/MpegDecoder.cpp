#include "audio/decoders/MpegDecoder.h"

#include <mpg123.h>
#include <sys/types.h>

#include <algorithm>
#include <optional>

#include "audio/decoders/MpegProbe.h"
#include "audio/decoders/SourceFile.h"

namespace tarvel::audio {
namespace {

constexpr std::size_t kBytesPerSample = sizeof(std::int16_t);
// The longest MPEG audio frame is under 2 KiB; the probe reads the chain beyond the search window.
constexpr std::size_t kProbeTailBytes = kMpegProbeChainFrames * 2048;
constexpr int kMaxId3Tags = 8;

// libmpg123 reads the file through this, which starts it at the first frame the probe found, so
// junk between tags and audio never reaches the decoder.
struct MpegInput {
    SourceFile file;
    std::uint64_t base = 0;
};

mpg123_ssize_t InputRead(void* handle, void* buf, size_t bytes) {
    auto* in = static_cast<MpegInput*>(handle);
    return static_cast<mpg123_ssize_t>(in->file.read(buf, bytes));
}

off_t InputSeek(void* handle, off_t offset, int whence) {
    auto* in = static_cast<MpegInput*>(handle);
    const auto length = static_cast<off_t>(in->file.size() - in->base);
    const auto current = static_cast<off_t>(in->file.tell() - in->base);
    off_t target = offset;
    if (whence == SEEK_CUR) {
        target = current + offset;
    } else if (whence == SEEK_END) {
        target = length + offset;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (target < 0 || !in->file.seekTo(static_cast<std::int64_t>(in->base) + target)) {
        return -1;
    }
    return target;
}

struct HandleCloser {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using HandlePtr = std::unique_ptr<mpg123_handle, HandleCloser>;

std::uint32_t KindOfLayer(int layer) {
    switch (layer) {
        case 1:
            return kKindMpeg1;
        case 2:
            return kKindMpeg2;
        default:
            return kKindMpeg3;
    }
}

class MpegDecoder final : public Decoder {
  public:
    MpegDecoder(std::unique_ptr<MpegInput> input, HandlePtr mh, std::uint32_t rate,
                std::uint32_t channels, std::uint64_t length, std::uint32_t kind)
        : input_(std::move(input)),
          mh_(std::move(mh)),
          rate_(rate),
          channels_(channels),
          length_(length),
          kind_(kind) {}

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kind_; }

    std::size_t read(std::int16_t* out, std::size_t frames) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        const std::size_t frameBytes = channels_ * kBytesPerSample;
        std::size_t done = 0;
        while (done < want) {
            size_t got = 0;
            const int err =
                mpg123_read(mh_.get(), reinterpret_cast<unsigned char*>(out) + done * frameBytes,
                            (want - done) * frameBytes, &got);
            done += got / frameBytes;
            if (err == MPG123_NEW_FORMAT || (err == MPG123_OK && got > 0)) {
                continue;
            }
            if (err != MPG123_OK || got == 0) {
                break;  // end of stream or undecodable data: stop with what we have
            }
        }
        pos_ += done;
        return done;
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        const off_t at = mpg123_seek(mh_.get(), static_cast<off_t>(frame), SEEK_SET);
        if (at < 0) {
            // The decoder's position is unknown now; put it back where the caller expects it.
            mpg123_seek(mh_.get(), static_cast<off_t>(pos_), SEEK_SET);
            return false;
        }
        pos_ = frame;
        return true;
    }

  private:
    std::unique_ptr<MpegInput> input_;  // outlives mh_, which reads through it
    HandlePtr mh_;
    std::uint32_t rate_;
    std::uint32_t channels_;
    std::uint64_t length_;
    std::uint32_t kind_;
    std::uint64_t pos_ = 0;
};

// Offset of the first audio frame, or empty if the file is not MPEG audio by the strict probe.
std::optional<std::uint64_t> ProbeFile(const SourceFile& file) {
    std::uint64_t tagEnd = 0;
    for (int i = 0; i < kMaxId3Tags; ++i) {
        const auto head = file.peek(tagEnd, 10);
        const std::size_t tag = Id3v2Size(head.data(), head.size());
        if (tag == 0) {
            break;
        }
        tagEnd += tag;
    }
    const auto window = file.peek(tagEnd, kMpegProbeSearchBytes + kProbeTailBytes);
    if (window.empty() || tagEnd >= file.size()) {
        return std::nullopt;
    }
    const auto first = FindMpegStream(window.data(), window.size(), file.size() - tagEnd);
    if (!first) {
        return std::nullopt;
    }
    return tagEnd + *first;
}

bool LibraryReady() {
    static const bool ready = mpg123_init() == MPG123_OK;  // once per process; thread-safe init
    return ready;
}

}  // namespace

std::unique_ptr<Decoder> OpenMpegFile(const std::string& path) {
    if (!LibraryReady()) {
        return nullptr;
    }
    auto file = SourceFile::Open(path);
    if (!file) {
        return nullptr;
    }
    const auto first = ProbeFile(*file);
    if (!first) {
        return nullptr;
    }
    auto input = std::make_unique<MpegInput>(MpegInput{std::move(*file), *first});
    input->file.seekTo(static_cast<std::int64_t>(*first));

    int err = MPG123_OK;
    HandlePtr mh(mpg123_new(nullptr, &err));
    if (!mh) {
        return nullptr;
    }
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_param(mh.get(), MPG123_REMOVE_FLAGS, MPG123_FORCE_FLOAT, 0.0);
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_replace_reader_handle(mh.get(), InputRead, InputSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh.get(), input.get()) != MPG123_OK) {
        return nullptr;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        (channels != 1 && channels != 2) || encoding != MPG123_ENC_SIGNED_16) {
        return nullptr;
    }
    // Hold the output to the first frame's format: a stream that changes mode mid-way is
    // converted rather than switching the channel's layout under the engine.
    mpg123_format_none(mh.get());
    mpg123_format(mh.get(), rate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                  MPG123_ENC_SIGNED_16);
    if (mpg123_scan(mh.get()) != MPG123_OK) {
        return nullptr;
    }
    const off_t length = mpg123_length(mh.get());
    if (length <= 0) {
        return nullptr;
    }
    mpg123_frameinfo info{};
    if (mpg123_info(mh.get(), &info) != MPG123_OK) {
        return nullptr;
    }
    if (mpg123_seek(mh.get(), 0, SEEK_SET) < 0) {
        return nullptr;
    }
    return std::make_unique<MpegDecoder>(
        std::move(input), std::move(mh), static_cast<std::uint32_t>(rate),
        static_cast<std::uint32_t>(channels), static_cast<std::uint64_t>(length),
        KindOfLayer(info.layer));
}

}  // namespace tarvel::audio
