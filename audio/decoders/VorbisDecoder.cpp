#include "audio/decoders/VorbisDecoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "audio/decoders/ContainerSniff.h"

namespace tarvel::audio {
namespace {

OpenResult OpenVorbisFile(ByteSource src);

constexpr int kLittleEndian = 0;
constexpr int kWordBytes = 2;
constexpr int kSigned = 1;
constexpr std::size_t kMaxMappedChannels = 8;

// Vorbis orders 3 to 8 channels centre-first (L C R ...); WAV and the mixer's downmix expect
// L R C LFE .... For n channels, output channel i takes Vorbis channel kToWavOrder[n][i].
constexpr std::array<std::array<std::uint8_t, kMaxMappedChannels>, kMaxMappedChannels + 1>
    kToWavOrder = {{{},
                    {0},
                    {0, 1},
                    {0, 2, 1},
                    {0, 1, 2, 3},
                    {0, 2, 1, 3, 4},
                    {0, 2, 1, 5, 3, 4},
                    {0, 2, 1, 6, 5, 3, 4},
                    {0, 2, 1, 7, 5, 6, 3, 4}}};

std::size_t VfRead(void* ptr, std::size_t size, std::size_t count, void* user) {
    if (size == 0) {
        return 0;
    }
    return static_cast<ByteSource*>(user)->read(ptr, size * count) / size;
}

int VfSeek(void* user, ogg_int64_t offset, int whence) {
    auto* src = static_cast<ByteSource*>(user);
    std::int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<std::int64_t>(src->tell());
    } else if (whence == SEEK_END) {
        base = static_cast<std::int64_t>(src->size());
    } else if (whence != SEEK_SET) {
        return -1;
    }
    return src->seekTo(base + offset) ? 0 : -1;
}

long VfTell(void* user) {
    return static_cast<long>(static_cast<ByteSource*>(user)->tell());
}

// The byte source and the libvorbisfile state that reads through it, at one fixed address.
struct VorbisFile {
    explicit VorbisFile(ByteSource s) : src(std::move(s)) {}
    VorbisFile(const VorbisFile&) = delete;
    VorbisFile& operator=(const VorbisFile&) = delete;
    ~VorbisFile() {
        if (open) {
            ov_clear(&vf);
        }
    }

    ByteSource src;
    OggVorbis_File vf{};
    bool open = false;
};

class VorbisDecoder final : public Decoder {
  public:
    VorbisDecoder(std::unique_ptr<VorbisFile> file, std::uint32_t rate, std::uint32_t channels,
                  int links, std::uint64_t length)
        : file_(std::move(file)),
          rate_(rate),
          channels_(channels),
          links_(links),
          length_(length),
          order_(channels <= kMaxMappedChannels ? kToWavOrder[channels].data() : nullptr) {}

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kKindOtherFile; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        std::size_t done = 0;
        while (done < frames) {
            if (pendingAt_ < pending_.size()) {
                const std::size_t n =
                    std::min(frames - done, (pending_.size() - pendingAt_) / channels_);
                std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                            n * channels_, out + done * channels_);
                pendingAt_ += n * channels_;
                done += n;
                pos_ += n;
                continue;
            }
            if (!decodeMore()) {
                break;
            }
        }
        return ReadResult::Got(done);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        pending_.clear();
        pendingAt_ = 0;
        if (ov_pcm_seek(&file_->vf, static_cast<ogg_int64_t>(frame)) != 0) {
            // Put the decoder back where the caller believes it is.
            ov_pcm_seek(&file_->vf, static_cast<ogg_int64_t>(pos_));
            return false;
        }
        pos_ = frame;
        return true;
    }

    // ov_pcm_seek decodes the packet before the target for its overlap, so a second decoder
    // sought anywhere gives the same samples as this one read through.
    std::unique_ptr<Decoder> openAnother() const override {
        auto bytes = file_->src.duplicate(ReadAhead::Short);
        return bytes ? OpenVorbisFile(std::move(*bytes)).take() : nullptr;
    }

  private:
    static constexpr std::size_t kMaxReadBytes = 1 << 16;
    // A jump in the stream's own position wider than this is a damaged page, not lost audio.
    static constexpr std::uint64_t kMaxGapFrames = 1 << 20;

    // Decodes the next packet into pending_, placed where the stream's granule positions say it
    // belongs: pages lost to damage become silence of their length, so that what follows keeps
    // its position (a seek there gives the same audio). False at the end.
    bool decodeMore() {
        pending_.clear();
        pendingAt_ = 0;
        scratch_.resize(kMaxReadBytes / sizeof(std::int16_t));
        for (;;) {
            int link = 0;
            const long got =
                ov_read(&file_->vf, reinterpret_cast<char*>(scratch_.data()),
                        static_cast<int>(kMaxReadBytes), kLittleEndian, kWordBytes, kSigned, &link);
            if (got == OV_HOLE) {
                continue;  // a gap in the pages: the decoder resumes after it
            }
            if (got <= 0 || link >= links_) {
                return false;
            }
            const auto n = static_cast<std::size_t>(got) / (std::size_t{channels_} * kWordBytes);
            reorder(scratch_.data(), n);
            const std::uint64_t queued = pos_;  // pending_ is empty: the next frame is pos_
            const ogg_int64_t after = ov_pcm_tell(&file_->vf);
            const std::uint64_t first =
                after >= static_cast<ogg_int64_t>(n) ? static_cast<std::uint64_t>(after) - n : 0;
            std::size_t skip = 0;
            if (first > queued) {
                const auto gap = std::min<std::uint64_t>(first - queued, kMaxGapFrames);
                pending_.assign(static_cast<std::size_t>(gap) * channels_, 0);
            } else if (first < queued) {
                skip = static_cast<std::size_t>(std::min<std::uint64_t>(queued - first, n));
            }
            pending_.insert(pending_.end(),
                            scratch_.begin() + static_cast<std::ptrdiff_t>(skip * channels_),
                            scratch_.begin() + static_cast<std::ptrdiff_t>(n * channels_));
            if (!pending_.empty()) {
                return true;
            }
        }
    }

    void reorder(std::int16_t* s, std::size_t frames) const {
        if (order_ == nullptr || channels_ < 3) {
            return;
        }
        std::array<std::int16_t, kMaxMappedChannels> frame{};
        for (std::size_t f = 0; f < frames; ++f, s += channels_) {
            std::copy_n(s, channels_, frame.begin());
            for (std::uint32_t c = 0; c < channels_; ++c) {
                s[c] = frame[order_[c]];
            }
        }
    }

    std::unique_ptr<VorbisFile> file_;
    std::uint32_t rate_;
    std::uint32_t channels_;
    int links_;
    std::uint64_t length_;
    const std::uint8_t* order_;
    std::uint64_t pos_ = 0;  // frame number of pending_[pendingAt_]
    std::vector<std::int16_t> pending_;
    std::size_t pendingAt_ = 0;
    std::vector<std::int16_t> scratch_;
};

OpenResult OpenVorbisFile(ByteSource src) {
    const auto head = src.peek(0, kSniffBytes);
    if (SniffContainer(head.data(), head.size()) != Container::kOggVorbis) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    auto file = std::make_unique<VorbisFile>(std::move(src));
    const ov_callbacks callbacks{VfRead, VfSeek, nullptr, VfTell};
    if (ov_open_callbacks(&file->src, &file->vf, nullptr, 0, callbacks) != 0) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    file->open = true;
    const vorbis_info* first = ov_info(&file->vf, 0);
    if (first == nullptr || first->rate <= 0 || first->channels <= 0) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    const long links = ov_streams(&file->vf);
    std::uint64_t length = 0;
    int usable = 0;
    for (int i = 0; i < links; ++i) {
        const vorbis_info* info = ov_info(&file->vf, i);
        const ogg_int64_t frames = ov_pcm_total(&file->vf, i);
        if (info == nullptr || info->rate != first->rate || info->channels != first->channels ||
            frames < 0) {
            break;
        }
        length += static_cast<std::uint64_t>(frames);
        ++usable;
    }
    if (usable == 0) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    return std::make_unique<VorbisDecoder>(std::move(file), static_cast<std::uint32_t>(first->rate),
                                           static_cast<std::uint32_t>(first->channels), usable,
                                           length);
}

}  // namespace

OpenResult OpenVorbis(ByteSource src) {
    return OpenVorbisFile(std::move(src));
}

}  // namespace tarvel::audio
