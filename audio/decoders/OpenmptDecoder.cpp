#include "audio/decoders/OpenmptDecoder.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvel::audio {
namespace {

constexpr std::uint32_t kDefaultRate = 44100;
constexpr std::uint32_t kMinRate = 8000;
constexpr std::uint32_t kMaxRate = 192000;
constexpr std::uint32_t kChannels = 2;
// Larger files are not modules anyone plays; refusing them keeps a stray huge file in memory out.
constexpr std::uint64_t kMaxModuleBytes = 256ull * 1024 * 1024;
// A module whose computed duration exceeds this is broken; its length is cut here.
constexpr double kMaxSeconds = 4.0 * 3600.0;
constexpr int kRampDefault = -1;  // libopenmpt's own ramp strength
constexpr int kRampOff = 0;
constexpr std::size_t kDiscardChunkFrames = 4096;
constexpr double kSeekBackStepSeconds = 0.05;

// The end of a song is measured by rendering its last stretch: libopenmpt lets the last notes
// ring on past the duration it reports (by about 100 ms), and that belongs to the music.
constexpr double kEndProbeSeconds = 2.0;
// A song still sounding this long after its reported end is looping; its reported end holds.
constexpr double kMaxTailSeconds = 30.0;

struct ModuleCloser {
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleCloser>;

// One song of the module's order list, placed in the source at `start` for `frames` frames.
struct Song {
    int index = 0;
    std::uint64_t start = 0;
    std::uint64_t frames = 0;
    double seconds = 0.0;  // the duration libopenmpt reports, without the ringing end
};

std::size_t Render(openmpt_module* mod, std::uint32_t rate, std::int16_t* out, std::size_t frames) {
    return openmpt_module_read_interleaved_stereo(mod, static_cast<std::int32_t>(rate), frames,
                                                  out);
}

// Renders and drops up to `frames` frames; the frames rendered (fewer at the song's end).
std::uint64_t Skip(openmpt_module* mod, std::uint32_t rate, std::uint64_t frames) {
    std::vector<std::int16_t> scratch(kDiscardChunkFrames * kChannels);
    std::uint64_t done = 0;
    while (done < frames) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames - done, kDiscardChunkFrames));
        const std::size_t got = Render(mod, rate, scratch.data(), n);
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

// Puts the selected song at `seconds` or just before (libopenmpt lands on row starts, which may
// lie after the time asked); returns where it landed.
double PositionAtOrBefore(openmpt_module* mod, double seconds) {
    double ask = seconds;
    double back = kSeekBackStepSeconds;
    double landed = openmpt_module_set_position_seconds(mod, ask);
    while (landed > seconds && ask > 0.0) {
        ask = std::max(0.0, seconds - back);
        back *= 2.0;
        landed = openmpt_module_set_position_seconds(mod, ask);
    }
    return std::min(landed, seconds);
}

// Frames the selected song lasts, its last notes' ringing included.
std::uint64_t SongFrames(openmpt_module* mod, std::uint32_t rate, double seconds) {
    const auto reported = static_cast<std::uint64_t>(std::llround(seconds * rate));
    const double landed = PositionAtOrBefore(mod, std::max(0.0, seconds - kEndProbeSeconds));
    const auto from = static_cast<std::uint64_t>(std::llround(landed * rate));
    const auto limit = static_cast<std::uint64_t>((seconds - landed + kMaxTailSeconds) * rate);
    const std::uint64_t rendered = Skip(mod, rate, limit);
    if (rendered >= limit) {
        return reported;
    }
    return std::max(reported, from + rendered);
}

// All songs of the module one after another: a file holds them all, and a listener who loads
// it hears everything in it, with every part on the overview. libopenmpt's own "all songs"
// mode cannot seek across songs, so the songs are chained here.
class OpenmptDecoder final : public Decoder {
  public:
    OpenmptDecoder(ModulePtr mod, std::uint32_t rate, std::vector<Song> songs)
        : mod_(std::move(mod)),
          rate_(rate),
          songs_(std::move(songs)),
          length_(songs_.back().start + songs_.back().frames) {
        select(0);
    }

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return kChannels; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kKindMusic; }

    ReadResult read(std::int16_t* out, std::size_t frames) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        std::size_t done = 0;
        while (done < want) {
            const Song& song = songs_[current_];
            const std::uint64_t songEnd = song.start + song.frames;
            if (pos_ >= songEnd) {
                select(current_ + 1);
                continue;
            }
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(want - done, songEnd - pos_));
            std::int16_t* dst = out + done * kChannels;
            std::size_t got = ended_ ? 0 : Render(mod_.get(), rate_, dst, n);
            if (got < n) {
                // The renderer may stop a little before the measured end; the length promised
                // at open is kept by padding with silence.
                ended_ = true;
                std::fill(dst + got * kChannels, dst + n * kChannels, std::int16_t{0});
                got = n;
            }
            done += got;
            pos_ += got;
        }
        return ReadResult::Got(done);
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        std::size_t song = 0;
        while (song + 1 < songs_.size() && frame >= songs_[song + 1].start) {
            ++song;
        }
        select(song);
        // Land at or before the target, then render forward to the exact frame.
        const std::uint64_t offset = frame - songs_[song].start;
        // Past the reported duration libopenmpt has no position; the ringing end is reached by
        // rendering on from the last stretch before it.
        const double ask = std::min(static_cast<double>(offset) / rate_,
                                    std::max(0.0, songs_[song].seconds - kEndProbeSeconds));
        const double landed = PositionAtOrBefore(mod_.get(), ask);
        const auto ahead = static_cast<std::uint64_t>(
            std::llround(std::max(0.0, static_cast<double>(offset) - landed * rate_)));
        ended_ = Skip(mod_.get(), rate_, ahead) < ahead;
        pos_ = frame;
        return true;
    }

  private:
    void select(std::size_t song) {
        current_ = std::min(song, songs_.size() - 1);
        openmpt_module_select_subsong(mod_.get(), songs_[current_].index);
        openmpt_module_set_position_seconds(mod_.get(), 0.0);
        pos_ = songs_[current_].start;
        ended_ = false;
    }

    ModulePtr mod_;
    std::uint32_t rate_;
    std::vector<Song> songs_;
    std::uint64_t length_;
    std::size_t current_ = 0;
    std::uint64_t pos_ = 0;
    bool ended_ = false;
};

}  // namespace

OpenResult OpenModule(ByteSource file, std::uint32_t rate, bool ramp) {
    if (rate == 0) {
        rate = kDefaultRate;
    }
    if (rate < kMinRate || rate > kMaxRate) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    if (file.size() == 0 || file.size() > kMaxModuleBytes) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(file.size()));
    if (file.read(data.data(), data.size()) != data.size()) {
        return OpenResult::Fail(OpenFailure::kUnreadable);
    }
    int error = 0;
    const char* message = nullptr;
    ModulePtr mod(openmpt_module_create_from_memory2(
        data.data(), data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, &error, &message, nullptr));
    openmpt_free_string(message);
    if (!mod) {
        return OpenResult::Fail(OpenFailure::kNotMine);
    }
    openmpt_module_set_repeat_count(mod.get(), 0);
    // Deterministic output (no dither noise), and notes already sounding at a seek target are
    // resumed rather than left silent.
    openmpt_module_ctl_set_integer(mod.get(), "dither", 0);
    openmpt_module_ctl_set_boolean(mod.get(), "seek.sync_samples", 1);
    openmpt_module_set_render_param(mod.get(), OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                    ramp ? kRampDefault : kRampOff);
    std::vector<Song> songs;
    std::uint64_t total = 0;
    const auto maxFrames = static_cast<std::uint64_t>(kMaxSeconds * rate);
    const std::int32_t count =
        std::max<std::int32_t>(1, openmpt_module_get_num_subsongs(mod.get()));
    for (std::int32_t i = 0; i < count && total < maxFrames; ++i) {
        if (count > 1 && openmpt_module_select_subsong(mod.get(), i) == 0) {
            continue;
        }
        const double seconds = openmpt_module_get_duration_seconds(mod.get());
        if (!(seconds > 0.0)) {
            continue;
        }
        const double reported = std::min(seconds, kMaxSeconds);
        const std::uint64_t frames =
            std::min(SongFrames(mod.get(), rate, reported), maxFrames - total);
        if (frames > 0) {
            songs.push_back({count > 1 ? i : openmpt_module_get_selected_subsong(mod.get()), total,
                             frames, reported});
            total += frames;
        }
    }
    if (songs.empty()) {
        return OpenResult::Fail(OpenFailure::kDamaged);
    }
    return std::make_unique<OpenmptDecoder>(std::move(mod), rate, std::move(songs));
}

}  // namespace tarvel::audio
