#include "audio/decoders/FlacDecoder.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <vector>

#include "audio/decoders/ContainerSniff.h"
#include "audio/decoders/MpegProbe.h"
#include "audio/decoders/SampleConvert.h"

namespace tarvel::audio {
namespace {

OpenResult OpenFlacFile(ByteSource src);

constexpr unsigned kMaxBitsPerSample = 32;
constexpr unsigned kMinBitsPerSample = 4;
// A process call that yields no audio this many times in a row has nothing more to give.
constexpr int kMaxIdleProcessCalls = 64;

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* d) const {
        FLAC__stream_decoder_finish(d);
        FLAC__stream_decoder_delete(d);
    }
};

// Everything libFLAC's callbacks reach, at one fixed address.
class FlacStream {
  public:
    explicit FlacStream(ByteSource src) : src_(std::move(src)) {}
    FlacStream(const FlacStream&) = delete;
    FlacStream& operator=(const FlacStream&) = delete;

    bool init(bool ogg) {
        decoder_.reset(FLAC__stream_decoder_new());
        if (!decoder_) {
            return false;
        }
        FLAC__stream_decoder_set_md5_checking(decoder_.get(), false);
        const auto status =
            ogg ? FLAC__stream_decoder_init_ogg_stream(decoder_.get(), Read, Seek, Tell, Length,
                                                       Eof, Write, Metadata, Error, this)
                : FLAC__stream_decoder_init_stream(decoder_.get(), Read, Seek, Tell, Length, Eof,
                                                   Write, Metadata, Error, this);
        return status == FLAC__STREAM_DECODER_INIT_STATUS_OK &&
               FLAC__stream_decoder_process_until_end_of_metadata(decoder_.get()) && hasInfo_;
    }

    std::uint32_t rate() const { return rate_; }
    std::uint32_t channels() const { return channels_; }
    unsigned bits() const { return bits_; }
    std::uint64_t headerLength() const { return headerLength_; }
    const ByteSource& source() const { return src_; }

    // Frames from the position on, at most `frames`; 0 at the end of the stream.
    std::size_t read(std::int16_t* out, std::size_t frames, std::uint64_t limit) {
        std::size_t done = 0;
        int idle = 0;
        while (done < frames && next_ < limit) {
            if (pendingAt_ < pending_.size()) {
                const std::size_t n =
                    std::min({frames - done, (pending_.size() - pendingAt_) / channels_,
                              static_cast<std::size_t>(limit - next_)});
                std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                            n * channels_, out + done * channels_);
                pendingAt_ += n * channels_;
                done += n;
                next_ += n;
                idle = 0;
                continue;
            }
            if (ended() || ++idle > kMaxIdleProcessCalls ||
                !FLAC__stream_decoder_process_single(decoder_.get())) {
                break;
            }
        }
        return done;
    }

    // Positions the stream at `frame`; the frames from there are decoded ahead.
    bool seekTo(std::uint64_t frame) {
        pending_.clear();
        pendingAt_ = 0;
        next_ = frame;
        if (!FLAC__stream_decoder_seek_absolute(decoder_.get(), frame)) {
            FLAC__stream_decoder_flush(decoder_.get());
            return false;
        }
        return true;
    }

    // Where the last whole frame in the file ends, found by searching the file's tail for frames
    // (a wider tail until one turns up); 0 if there is none. The position is lost.
    std::uint64_t lastFrameEnd() {
        const std::uint64_t size = src_.size();
        for (std::uint64_t tail = kFirstTailBytes;; tail *= 4) {
            FLAC__stream_decoder_flush(decoder_.get());
            src_.seekTo(static_cast<std::int64_t>(size > tail ? size - tail : 0));
            probing_ = true;
            lastEnd_ = 0;
            while (!ended() && FLAC__stream_decoder_process_single(decoder_.get())) {
                if (FLAC__stream_decoder_get_state(decoder_.get()) ==
                    FLAC__STREAM_DECODER_END_OF_STREAM) {
                    break;
                }
            }
            probing_ = false;
            if (lastEnd_ > 0 || tail >= size) {
                return lastEnd_;
            }
        }
    }

  private:
    // Several frames of any usual stream; the search widens from here.
    static constexpr std::uint64_t kFirstTailBytes = std::uint64_t{256} * 1024;

    bool ended() const {
        const auto state = FLAC__stream_decoder_get_state(decoder_.get());
        return state == FLAC__STREAM_DECODER_END_OF_STREAM ||
               state == FLAC__STREAM_DECODER_ABORTED ||
               state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR ||
               state == FLAC__STREAM_DECODER_SEEK_ERROR;
    }

    static FlacStream& Of(void* client) { return *static_cast<FlacStream*>(client); }

    static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                              std::size_t* bytes, void* client) {
        if (*bytes == 0) {
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
        *bytes = Of(client).src_.read(buffer, *bytes);
        return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                           : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }

    static FLAC__StreamDecoderSeekStatus Seek(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                              void* client) {
        auto& src = Of(client).src_;
        if (offset > src.size() || !src.seekTo(static_cast<std::int64_t>(offset))) {
            return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        }
        return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
    }

    static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                              void* client) {
        *offset = Of(client).src_.tell();
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }

    static FLAC__StreamDecoderLengthStatus Length(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                  void* client) {
        *length = Of(client).src_.size();
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }

    static FLAC__bool Eof(const FLAC__StreamDecoder*, void* client) {
        const auto& src = Of(client).src_;
        return src.tell() >= src.size();
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* md, void* client) {
        if (md->type != FLAC__METADATA_TYPE_STREAMINFO) {
            return;
        }
        auto& s = Of(client);
        const auto& info = md->data.stream_info;
        s.rate_ = info.sample_rate;
        s.channels_ = info.channels;
        s.bits_ = info.bits_per_sample;
        s.headerLength_ = info.total_samples;
        s.hasInfo_ = true;
    }

    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
        // Lost sync and bad frames are resynchronised by libFLAC; gaps are filled in Write.
    }

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* client) {
        auto& s = Of(client);
        const auto& h = frame->header;
        if (h.channels != s.channels_ || h.bits_per_sample == 0 ||
            h.bits_per_sample > kMaxBitsPerSample ||
            h.number_type != FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;  // not part of this stream
        }
        if (s.probing_) {
            s.lastEnd_ = h.number.sample_number + h.blocksize;
        } else {
            s.append(h.number.sample_number, h.blocksize, h.bits_per_sample, buffer);
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    // Queues one decoded block that starts at `first`: a block starting after the frames
    // expected next is preceded by silence for the lost frames; frames already handed out are
    // dropped.
    void append(std::uint64_t first, unsigned blocksize, unsigned bits,
                const FLAC__int32* const buffer[]) {
        if (pendingAt_ >= pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
        }
        const std::uint64_t queuedEnd = next_ + (pending_.size() - pendingAt_) / channels_;
        const std::uint64_t end = first + blocksize;
        if (end <= queuedEnd) {
            return;
        }
        if (first > queuedEnd) {
            const std::uint64_t gap = std::min<std::uint64_t>(first - queuedEnd, kMaxGapFrames);
            pending_.insert(pending_.end(), static_cast<std::size_t>(gap) * channels_, 0);
        }
        const auto skip = static_cast<unsigned>(first < queuedEnd ? queuedEnd - first : 0);
        const std::size_t at = pending_.size();
        pending_.resize(at + std::size_t{blocksize - skip} * channels_);
        std::int16_t* dst = pending_.data() + at;
        if (bits == 16) {
            // Already 16 bits: rounding would change nothing. This is the usual case, and the
            // scan decodes whole hours through here.
            for (std::uint32_t c = 0; c < channels_; ++c) {
                const FLAC__int32* src = buffer[c];
                for (unsigned i = skip; i < blocksize; ++i) {
                    dst[std::size_t{i - skip} * channels_ + c] = static_cast<std::int16_t>(src[i]);
                }
            }
            return;
        }
        const unsigned shift = kMaxBitsPerSample - bits;
        for (unsigned i = skip; i < blocksize; ++i) {
            for (std::uint32_t c = 0; c < channels_; ++c) {
                // Left-justified to 32 bits, then rounded to 16 like every other decoder.
                const auto v = static_cast<std::uint32_t>(buffer[c][i]) << shift;
                *dst++ = S32ToS16(static_cast<std::int32_t>(v));
            }
        }
    }

    // A gap in sample numbers wider than this is a damaged header, not lost frames.
    static constexpr std::uint64_t kMaxGapFrames = 1 << 20;

    ByteSource src_;
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder_;
    std::uint32_t rate_ = 0;
    std::uint32_t channels_ = 0;
    unsigned bits_ = 0;
    std::uint64_t headerLength_ = 0;
    bool hasInfo_ = false;
    std::vector<std::int16_t> pending_;  // decoded frames from next_ on
    std::size_t pendingAt_ = 0;
    std::uint64_t next_ = 0;  // frame number of pending_[pendingAt_]
    bool probing_ = false;    // looking for the end: frames are measured, not queued
    std::uint64_t lastEnd_ = 0;
};

// Frames the stream really holds: up to where the last whole frame in the file ends (a file cut
// short loses its end, so that is where a reader stops too), and no more than the header says.
std::uint64_t VerifiedLength(FlacStream& s) {
    const std::uint64_t claimed = s.headerLength();
    const std::uint64_t end = s.lastFrameEnd();
    return claimed > 0 ? std::min(end, claimed) : end;
}

class FlacDecoder final : public Decoder {
  public:
    FlacDecoder(std::unique_ptr<FlacStream> stream, std::uint64_t length)
        : stream_(std::move(stream)), length_(length) {}

    std::uint32_t rate() const override { return stream_->rate(); }
    std::uint32_t channels() const override { return stream_->channels(); }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kKindOtherFile; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        const std::size_t n = stream_->read(out, frames, length_);
        pos_ += n;
        return ReadResult::Got(n);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        if (frame == length_ ? !stream_->seekTo(frame - 1) || readOne() != 1
                             : !stream_->seekTo(frame)) {
            stream_->seekTo(pos_);
            return false;
        }
        pos_ = frame;
        return true;
    }

    // Lossless: every decoder gives the same samples at the same frame.
    std::unique_ptr<Decoder> openAnother() const override {
        auto bytes = stream_->source().duplicate(ReadAhead::Short);
        return bytes ? OpenFlacFile(std::move(*bytes)).take() : nullptr;
    }

  private:
    // Consumes the frame before the end, so that a seek to the very end reads nothing more.
    std::size_t readOne() {
        std::int16_t frame[8];
        return stream_->read(frame, 1, length_);
    }

    std::unique_ptr<FlacStream> stream_;
    std::uint64_t length_;
    std::uint64_t pos_ = 0;
};

OpenResult OpenFlacFile(ByteSource src) {
    auto head = src.peek(0, kSniffBytes);
    // Taggers put ID3v2 tags in front of FLAC files too; libFLAC skips them.
    const std::size_t tag = Id3v2Size(head.data(), head.size());
    if (tag > 0) {
        head = src.peek(tag, kSniffBytes);
    }
    const Container c = SniffContainer(head.data(), head.size());
    if (c != Container::kFlac && c != Container::kOggFlac) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    auto stream = std::make_unique<FlacStream>(std::move(src));
    if (!stream->init(c == Container::kOggFlac) || stream->rate() == 0 || stream->channels() == 0 ||
        stream->bits() < kMinBitsPerSample || stream->bits() > kMaxBitsPerSample) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    // A stream without a single frame of audio is nothing to play.
    const std::uint64_t length = VerifiedLength(*stream);
    if (length == 0 || !stream->seekTo(0)) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    return std::make_unique<FlacDecoder>(std::move(stream), length);
}

}  // namespace

OpenResult OpenFlac(ByteSource src) {
    return OpenFlacFile(std::move(src));
}

}  // namespace tarvel::audio
