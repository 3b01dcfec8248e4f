#include "audio/decoders/MpegDecoder.h"

#include <mpg123.h>
#include <sys/types.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "audio/decoders/MpegProbe.h"

namespace tarvel::audio {
namespace {

constexpr std::size_t kBytesPerSample = sizeof(std::int16_t);
// The longest MPEG audio frame is under 2 KiB; the probe reads the chain beyond the search window.
constexpr std::size_t kProbeTailBytes = std::size_t{kMpegProbeChainFrames} * 2048;
constexpr int kMaxId3Tags = 8;

// libmpg123 reads the file through this, which starts it at the first frame the probe found, so
// junk between tags and audio never reaches the decoder, and ends it where the stream stops
// being one stream (see StreamEnd).
struct MpegInput {
    ByteSource file;
    std::uint64_t base = 0;
    std::uint64_t end = 0;
};

mpg123_ssize_t InputRead(void* handle, void* buf, size_t bytes) {
    auto* in = static_cast<MpegInput*>(handle);
    const std::uint64_t at = in->file.tell();
    if (at >= in->end) {
        return 0;
    }
    bytes = static_cast<size_t>(std::min<std::uint64_t>(bytes, in->end - at));
    return static_cast<mpg123_ssize_t>(in->file.read(buf, bytes));
}

off_t InputSeek(void* handle, off_t offset, int whence) {
    auto* in = static_cast<MpegInput*>(handle);
    const auto length = static_cast<off_t>(in->end - in->base);
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

// Layer 3 frames may take their data from up to this many bytes of the frames before them (the bit
// reservoir: 9 bits of main_data_begin in MPEG-1, 8 in MPEG-2 and 2.5).
constexpr long kMpeg1Reservoir = 511;
constexpr long kMpeg2Reservoir = 255;
constexpr long kHeaderBytes = 4;
constexpr long kCrcBytes = 2;
constexpr long kMaxPreframes = 128;
// Frames decoded ahead beyond those that fill the reservoir: the one whose overlap the first
// heard frame adds to, and one more for the synthesis filter's history.
constexpr long kExtraPreframes = 2;
// The synthesis filter's ring of 16 slots turns by two slots per MPEG-2 frame and by four per
// MPEG-1 frame, and the order in which it sums depends on where the ring stands. Output is
// bit-identical to a decode from the start only if decoding restarts at a frame where the ring
// stands as it did at frame 0: every 8th frame in MPEG-2 and 2.5, every 4th in MPEG-1.
constexpr long kMpeg1RingPeriod = 4;
constexpr long kMpeg2RingPeriod = 8;

// How a seek in a layer 3 stream restarts decoding before its target.
struct Preroll {
    long frames = 0;  // at least this many frames decoded and discarded (0: not layer 3)
    long period = 1;  // the restart frame is a multiple of this
    // Every seek gives the samples of a decode from the start. Only MPEG-1 streams are known to:
    // at the low rates of MPEG-2 and 2.5 a restart can fall where a frame's data runs short of
    // the reservoir, and a sample in thousands then rounds the other way.
    bool exact = true;
};

// Enough frames that the reservoir holds all the data the target's frame refers to, whatever the
// bitrate of the frames before it: at the lowest bitrate of the stream's version a frame carries
// the least data. Low-rate MPEG-2 streams need dozens where libmpg123's default serves 128 kbit/s
// MPEG-1.
Preroll Layer3Preroll(const mpg123_frameinfo& info) {
    const bool mpeg1 = info.version == MPG123_1_0;
    const bool mono = info.mode == MPG123_M_MONO;
    const long sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const long lowestBitrate = mpeg1 ? 32000 : 8000;
    const long samplesPerFrame = mpeg1 ? 1152 : 576;
    const long frameBytes = samplesPerFrame / 8 * lowestBitrate / info.rate;
    const long mainData = std::max(1L, frameBytes - kHeaderBytes - kCrcBytes - sideInfo);
    const long reservoir = mpeg1 ? kMpeg1Reservoir : kMpeg2Reservoir;
    return {std::min(kMaxPreframes, (reservoir + mainData - 1) / mainData + kExtraPreframes),
            mpeg1 ? kMpeg1RingPeriod : kMpeg2RingPeriod};
}

// Seeks to `frame` (output frames, gapless), in a layer 3 stream restarting decoding at a frame
// that gives the same samples as a decode from the start. libmpg123 restarts `preframes` frames
// before the frame holding the target; the first seek finds that frame, the second restarts at
// the right one (libmpg123 seeks afresh, since the restart lies after where the first left it).
off_t SeekExact(mpg123_handle* mh, off_t frame, const Preroll& preroll) {
    if (preroll.frames == 0) {
        return mpg123_seek(mh, frame, SEEK_SET);
    }
    mpg123_param(mh, MPG123_PREFRAMES, kMaxPreframes + 2 * preroll.period, 0.0);
    if (mpg123_seek(mh, frame, SEEK_SET) < 0) {
        return -1;
    }
    const off_t holding = mpg123_tellframe(mh);
    long frames = preroll.frames;
    while ((holding - frames) % preroll.period != 0 && frames < holding) {
        ++frames;
    }
    mpg123_param(mh, MPG123_PREFRAMES, std::max(1L, frames), 0.0);
    return mpg123_seek(mh, frame, SEEK_SET);
}

// The output format a stream decodes to: the first frame's rate and channel count, 16 bits.
struct StreamFormat {
    long rate = 0;
    int channels = 0;
};

void RestrictFormat(mpg123_handle* mh, const StreamFormat& f) {
    mpg123_format_none(mh);
    mpg123_format(mh, f.rate, f.channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

// A handle reading `input` from its start: gapless, quiet, 16-bit, and either any rate (`format`
// null: the first frame decides) or exactly `format`.
HandlePtr OpenHandle(MpegInput& input, const StreamFormat* format) {
    int err = MPG123_OK;
    HandlePtr mh(mpg123_new(nullptr, &err));
    if (!mh) {
        return nullptr;
    }
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_param(mh.get(), MPG123_REMOVE_FLAGS, MPG123_FORCE_FLOAT, 0.0);
    if (format) {
        RestrictFormat(mh.get(), *format);
    } else {
        mpg123_format_none(mh.get());
        const long* rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i) {
            mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        }
    }
    input.file.seekTo(static_cast<std::int64_t>(input.base));
    if (mpg123_replace_reader_handle(mh.get(), InputRead, InputSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh.get(), &input) != MPG123_OK) {
        return nullptr;
    }
    return mh;
}

class MpegDecoder final : public Decoder {
  public:
    MpegDecoder(std::unique_ptr<MpegInput> input, HandlePtr mh, const StreamFormat& format,
                std::uint64_t length, std::uint32_t kind, const Preroll& preroll,
                std::vector<off_t> index, off_t indexStep)
        : input_(std::move(input)),
          mh_(std::move(mh)),
          format_(format),
          preroll_(preroll),
          index_(std::move(index)),
          indexStep_(indexStep),
          length_(length),
          kind_(kind) {}

    std::uint32_t rate() const override { return static_cast<std::uint32_t>(format_.rate); }
    std::uint32_t channels() const override { return static_cast<std::uint32_t>(format_.channels); }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kind_; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        const std::size_t frameBytes = channels() * kBytesPerSample;
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
        return ReadResult::Got(done);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        if (!restartAt(frame)) {
            // The decoder's position is unknown now; put it back where the caller expects it.
            restartAt(pos_);
            return false;
        }
        pos_ = frame;
        return true;
    }

    // A fresh handle over a second reader of the file, with the frame index of the first scan,
    // so that it seeks at once; its seeks restart like this one's and give the same samples.
    std::unique_ptr<Decoder> openAnother() const override {
        if (!preroll_.exact) {
            return nullptr;
        }
        auto bytes = input_->file.duplicate(ReadAhead::Short);
        if (!bytes) {
            return nullptr;
        }
        auto input =
            std::make_unique<MpegInput>(MpegInput{std::move(*bytes), input_->base, input_->end});
        HandlePtr mh = OpenHandle(*input, &format_);
        auto other = std::make_unique<MpegDecoder>(std::move(input), std::move(mh), format_,
                                                   length_, kind_, preroll_, index_, indexStep_);
        if (!other->mh_ ||
            (!other->index_.empty() &&
             mpg123_set_index(other->mh_.get(), other->index_.data(), other->indexStep_,
                              other->index_.size()) != MPG123_OK) ||
            !other->restartAt(0)) {
            return nullptr;
        }
        return other;
    }

  private:
    // A seek on a fresh handle: libmpg123 keeps the synthesis ring's position across its own
    // seeks, so only a handle that has decoded nothing yet restarts like the decode from the
    // start. The frame index of the first scan comes along, so the new handle seeks at once.
    bool restartAt(std::uint64_t frame) {
        if (preroll_.frames == 0) {
            return mpg123_seek(mh_.get(), static_cast<off_t>(frame), SEEK_SET) >= 0;
        }
        HandlePtr fresh = OpenHandle(*input_, &format_);
        if (!fresh || (!index_.empty() && mpg123_set_index(fresh.get(), index_.data(), indexStep_,
                                                           index_.size()) != MPG123_OK)) {
            return false;
        }
        if (SeekExact(fresh.get(), static_cast<off_t>(frame), preroll_) < 0) {
            return false;
        }
        mh_ = std::move(fresh);
        return true;
    }

    std::unique_ptr<MpegInput> input_;  // outlives mh_, which reads through it
    HandlePtr mh_;
    StreamFormat format_;
    Preroll preroll_;
    std::vector<off_t> index_;  // frame offsets every indexStep_ frames, from the scan
    off_t indexStep_;
    std::uint64_t length_;
    std::uint32_t kind_;
    std::uint64_t pos_ = 0;
};

// Offset of the first audio frame, or empty if the file is not MPEG audio by the strict probe.
std::optional<std::uint64_t> ProbeFile(const ByteSource& file) {
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

// Where a stream made of pieces of different MPEG versions, layers or rates (files joined
// end to end) stops being the stream it starts as, relative to the input's start; empty if it
// does not. libmpg123 would resample such pieces to the first one's rate, but counts and seeks
// them as if they had its rate: the length would promise audio that is not there, or hide audio
// that is. The source is the first piece, exactly.
std::optional<std::uint64_t> StreamEnd(mpg123_handle* mh) {
    long first = 0;
    if (mpg123_getstate(mh, MPG123_FRANKENSTEIN, &first, nullptr) != MPG123_OK || first == 0 ||
        mpg123_seek_frame(mh, 0, SEEK_SET) < 0) {
        return std::nullopt;
    }
    std::optional<mpg123_frameinfo> start;
    for (;;) {
        const int err = mpg123_framebyframe_next(mh);
        if (err != MPG123_OK && err != MPG123_NEW_FORMAT) {
            return std::nullopt;
        }
        mpg123_frameinfo info{};
        if (mpg123_info(mh, &info) != MPG123_OK) {
            return std::nullopt;
        }
        if (!start) {
            start = info;
        } else if (info.version != start->version || info.layer != start->layer ||
                   info.rate != start->rate) {
            const off_t at = mpg123_framepos(mh);
            return at > 0 ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(at))
                          : std::nullopt;
        }
    }
}

// Whether the length is the stream's frames less the encoder delay and padding its info tag
// gives. A file cut short has a tag that promises more frames than there are: libmpg123 then
// decodes it from the start untrimmed but seeks in it as if trimmed, so seeks land off by the
// delay.
bool TrimAgreesWithTag(mpg123_handle* mh, off_t length) {
    long delay = 0;
    long padding = 0;
    if (mpg123_getstate(mh, MPG123_ENC_DELAY, &delay, nullptr) != MPG123_OK ||
        mpg123_getstate(mh, MPG123_ENC_PADDING, &padding, nullptr) != MPG123_OK) {
        return false;
    }
    const off_t frames = mpg123_framelength(mh);
    const int spf = mpg123_spf(mh);
    return frames > 0 && spf > 0 &&
           length == frames * spf - std::max(0L, delay) - std::max(0L, padding);
}

// Opens, reads the format and scans the whole stream for its exact length.
struct Scanned {
    HandlePtr mh;
    StreamFormat format;
    mpg123_frameinfo info{};
    off_t length = 0;
};

std::optional<Scanned> OpenAndScan(MpegInput& input) {
    Scanned s;
    s.mh = OpenHandle(input, nullptr);
    if (!s.mh) {
        return std::nullopt;
    }
    int encoding = 0;
    if (mpg123_getformat(s.mh.get(), &s.format.rate, &s.format.channels, &encoding) != MPG123_OK ||
        s.format.rate <= 0 || (s.format.channels != 1 && s.format.channels != 2) ||
        encoding != MPG123_ENC_SIGNED_16) {
        return std::nullopt;
    }
    // Hold the output to the first frame's format: a stream that changes mode mid-way is
    // converted rather than switching the channel's layout under the engine.
    RestrictFormat(s.mh.get(), s.format);
    if (mpg123_scan(s.mh.get()) != MPG123_OK) {
        return std::nullopt;
    }
    s.length = mpg123_length(s.mh.get());
    if (s.length <= 0 || mpg123_info(s.mh.get(), &s.info) != MPG123_OK || s.info.rate <= 0) {
        return std::nullopt;
    }
    return s;
}

}  // namespace

OpenResult OpenMpeg(ByteSource file) {
    const auto first = ProbeFile(file);
    if (!first) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    if (!LibraryReady()) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    const std::uint64_t size = file.size();
    auto input = std::make_unique<MpegInput>(MpegInput{std::move(file), *first, size});
    auto scanned = OpenAndScan(*input);
    if (!scanned) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    if (const auto end = StreamEnd(scanned->mh.get())) {
        input->end = input->base + *end;
        scanned = OpenAndScan(*input);
        if (!scanned) {
            return OpenResult::Fail(OpenFailure::kDamaged);
        }
    }
    std::vector<off_t> index;
    off_t step = 0;
    off_t* offsets = nullptr;
    size_t fill = 0;
    if (mpg123_index(scanned->mh.get(), &offsets, &step, &fill) == MPG123_OK && offsets) {
        index.assign(offsets, offsets + fill);
    }
    Preroll preroll = scanned->info.layer == 3 ? Layer3Preroll(scanned->info) : Preroll{};
    preroll.exact = scanned->info.version == MPG123_1_0 &&
                    TrimAgreesWithTag(scanned->mh.get(), scanned->length);
    if (SeekExact(scanned->mh.get(), 0, preroll) < 0) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    return std::make_unique<MpegDecoder>(std::move(input), std::move(scanned->mh), scanned->format,
                                         static_cast<std::uint64_t>(scanned->length),
                                         KindOfLayer(scanned->info.layer), preroll,
                                         std::move(index), step);
}

}  // namespace tarvel::audio
