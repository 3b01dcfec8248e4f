#include "audio/decoders/SndfileDecoder.h"

#include <sndfile.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "audio/decoders/ContainerSniff.h"
#include "audio/decoders/FormatLimits.h"
#include "audio/decoders/ForwardSeek.h"
#include "audio/decoders/SampleConvert.h"

namespace tarvel::audio {
namespace {

// Frames converted per libsndfile call; bounds the scratch buffer.
constexpr std::size_t kChunkFrames = 4096;

sf_count_t VioLength(void* user) {
    return static_cast<sf_count_t>(static_cast<ByteSource*>(user)->size());
}

sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto* src = static_cast<ByteSource*>(user);
    sf_count_t base = 0;
    switch (whence) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            base = static_cast<sf_count_t>(src->tell());
            break;
        case SEEK_END:
            base = static_cast<sf_count_t>(src->size());
            break;
        default:
            return -1;
    }
    if (!src->seekTo(base + offset)) {
        return -1;
    }
    return static_cast<sf_count_t>(src->tell());
}

sf_count_t VioRead(void* ptr, sf_count_t count, void* user) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<sf_count_t>(
        static_cast<ByteSource*>(user)->read(ptr, static_cast<std::size_t>(count)));
}

sf_count_t VioWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t VioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<ByteSource*>(user)->tell());
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

bool IsFloatSubtype(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
            return true;
        default:
            return false;
    }
}

std::uint32_t KindOf(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_RF64:
            return kKindWav;
        case SF_FORMAT_AIFF:
            return kKindAiff;
        default:
            return kKindOtherFile;
    }
}

using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

SndfilePtr OpenVirtual(ByteSource* src, SF_INFO& info) {
    SF_VIRTUAL_IO vio{VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SndfilePtr sf(sf_open_virtual(&vio, SFM_READ, &info, src));
    if (sf) {
        sf_command(sf.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    }
    return sf;
}

class SndfileDecoder final : public Decoder, private ForwardStream {
  public:
    SndfileDecoder(std::unique_ptr<ByteSource> src, SndfilePtr sf, const SF_INFO& info)
        : src_(std::move(src)),
          sf_(std::move(sf)),
          rate_(static_cast<std::uint32_t>(info.samplerate)),
          channels_(static_cast<std::uint32_t>(info.channels)),
          length_(static_cast<std::uint64_t>(info.frames)),
          kind_(KindOf(info.format)),
          float_(IsFloatSubtype(info.format)) {}

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return channels_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kind_; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        if (forward_) {
            return ReadResult::Got(forward_->read(*this, out, frames));
        }
        frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        const std::size_t done = readForward(out, frames);
        pos_ += done;
        return ReadResult::Got(done);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        if (!forward_ && sf_seek(sf_.get(), static_cast<sf_count_t>(frame), SEEK_SET) >= 0) {
            pos_ = frame;
            return true;
        }
        // libsndfile cannot seek in this coding: decode forward to the frame instead, from a
        // fresh start, since the refused seek may have moved the stream.
        if (!forward_) {
            if (!restart()) {
                return false;
            }
            forward_.emplace(channels_, length_, 0);
        }
        return forward_->seek(frame);
    }

  private:
    std::size_t readForward(std::int16_t* out, std::size_t frames) override {
        std::size_t done = 0;
        while (done < frames) {
            const auto want = static_cast<sf_count_t>(std::min(frames - done, kChunkFrames));
            const std::size_t samples = static_cast<std::size_t>(want) * channels_;
            sf_count_t got = 0;
            std::int16_t* dst = out + done * channels_;
            if (float_) {
                floatBuf_.resize(samples);
                got = sf_readf_float(sf_.get(), floatBuf_.data(), want);
                for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels_; ++i) {
                    dst[i] = FloatToS16(floatBuf_[i]);
                }
            } else {
                intBuf_.resize(samples);
                got = sf_readf_int(sf_.get(), intBuf_.data(), want);
                for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels_; ++i) {
                    dst[i] = S32ToS16(intBuf_[i]);
                }
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    // Opens the bytes afresh: the one way back to the start that every coding has.
    bool restart() override {
        auto bytes = src_->duplicate();
        if (!bytes) {
            return false;
        }
        auto src = std::make_unique<ByteSource>(std::move(*bytes));
        SF_INFO info{};
        SndfilePtr sf = OpenVirtual(src.get(), info);
        if (!sf || static_cast<std::uint32_t>(info.channels) != channels_) {
            return false;
        }
        sf_ = std::move(sf);
        src_ = std::move(src);
        return true;
    }

    std::unique_ptr<ByteSource> src_;  // outlives sf_, which reads through it
    SndfilePtr sf_;
    std::uint32_t rate_;
    std::uint32_t channels_;
    std::uint64_t length_;
    std::uint32_t kind_;
    bool float_;
    std::uint64_t pos_ = 0;
    std::optional<ForwardSeek> forward_;  // once libsndfile has refused a seek
    std::vector<int> intBuf_;
    std::vector<float> floatBuf_;
};

}  // namespace

OpenResult OpenSndfile(ByteSource bytes) {
    // FLAC and Ogg Vorbis have decoders of their own, which know lengths and seeks better.
    const auto head = bytes.peek(0, kSniffBytes);
    const Container c = SniffContainer(head.data(), head.size());
    if (c != Container::kRiffWave && c != Container::kOggOther && c != Container::kOther) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    auto src = std::make_unique<ByteSource>(std::move(bytes));
    SF_INFO info{};
    SndfilePtr sf = OpenVirtual(src.get(), info);
    if (!sf) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    // MPEG audio goes to our own MPEG decoder, which handles gapless trimming.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    if (info.samplerate <= 0 || info.channels <= 0 ||
        static_cast<std::uint32_t>(info.channels) > kMaxSourceChannels || info.frames < 0 ||
        info.frames == SF_COUNT_MAX) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    return std::make_unique<SndfileDecoder>(std::move(src), std::move(sf), info);
}

}  // namespace tarvel::audio
