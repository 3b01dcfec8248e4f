#include "audio/decoders/SndfileDecoder.h"

#include <sndfile.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "audio/decoders/SampleConvert.h"
#include "audio/decoders/SourceFile.h"

namespace tarvel::audio {
namespace {

// Frames converted per libsndfile call; bounds the scratch buffer.
constexpr std::size_t kChunkFrames = 4096;
constexpr int kMaxChannels = 64;

// Where libsndfile's virtual I/O reads from: a file or a block in memory.
struct ByteSource {
    std::optional<SourceFile> file;
    const std::uint8_t* mem = nullptr;
    std::uint64_t memSize = 0;
    std::uint64_t memPos = 0;

    std::uint64_t size() const { return file ? file->size() : memSize; }
    std::uint64_t tell() const { return file ? file->tell() : memPos; }
    bool seekTo(std::int64_t pos) {
        if (pos < 0) {
            return false;
        }
        if (file) {
            return file->seekTo(pos);
        }
        memPos = static_cast<std::uint64_t>(pos);
        return true;
    }
    std::size_t read(void* out, std::size_t bytes) {
        if (file) {
            return file->read(out, bytes);
        }
        if (memPos >= memSize) {
            return 0;
        }
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, memSize - memPos));
        std::copy_n(mem + memPos, n, static_cast<std::uint8_t*>(out));
        memPos += n;
        return n;
    }
};

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

class SndfileDecoder final : public Decoder {
  public:
    SndfileDecoder(std::unique_ptr<ByteSource> src, std::unique_ptr<SNDFILE, SndfileCloser> sf,
                   const SF_INFO& info)
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

    std::size_t read(std::int16_t* out, std::size_t frames) override {
        std::size_t done = 0;
        while (done < frames && pos_ < length_) {
            const auto want = static_cast<sf_count_t>(
                std::min<std::uint64_t>({frames - done, kChunkFrames, length_ - pos_}));
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
            pos_ += static_cast<std::uint64_t>(got);
        }
        return done;
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        if (sf_seek(sf_.get(), static_cast<sf_count_t>(frame), SEEK_SET) < 0) {
            return false;
        }
        pos_ = frame;
        return true;
    }

  private:
    std::unique_ptr<ByteSource> src_;  // outlives sf_, which reads through it
    std::unique_ptr<SNDFILE, SndfileCloser> sf_;
    std::uint32_t rate_;
    std::uint32_t channels_;
    std::uint64_t length_;
    std::uint32_t kind_;
    bool float_;
    std::uint64_t pos_ = 0;
    std::vector<int> intBuf_;
    std::vector<float> floatBuf_;
};

std::unique_ptr<Decoder> OpenFrom(std::unique_ptr<ByteSource> src) {
    SF_VIRTUAL_IO vio{VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> sf(sf_open_virtual(&vio, SFM_READ, &info, src.get()));
    if (!sf) {
        return nullptr;
    }
    // MPEG audio goes to our own MPEG decoder, which handles gapless trimming.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        return nullptr;
    }
    if (info.samplerate <= 0 || info.channels <= 0 || info.channels > kMaxChannels ||
        info.frames < 0 || info.frames == SF_COUNT_MAX) {
        return nullptr;
    }
    sf_command(sf.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return std::make_unique<SndfileDecoder>(std::move(src), std::move(sf), info);
}

}  // namespace

std::unique_ptr<Decoder> OpenSndfileFile(const std::string& path) {
    auto file = SourceFile::Open(path);
    if (!file) {
        return nullptr;
    }
    auto src = std::make_unique<ByteSource>();
    src->file = std::move(file);
    return OpenFrom(std::move(src));
}

std::unique_ptr<Decoder> OpenSndfileMemory(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return nullptr;
    }
    auto src = std::make_unique<ByteSource>();
    src->mem = static_cast<const std::uint8_t*>(data);
    src->memSize = size;
    return OpenFrom(std::move(src));
}

}  // namespace tarvel::audio
