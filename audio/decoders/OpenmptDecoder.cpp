#include "audio/decoders/OpenmptDecoder.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/decoders/SourceFile.h"

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

struct ModuleCloser {
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};

class OpenmptDecoder final : public Decoder {
  public:
    OpenmptDecoder(std::unique_ptr<openmpt_module, ModuleCloser> mod, std::uint32_t rate,
                   std::uint64_t length)
        : mod_(std::move(mod)), rate_(rate), length_(length) {}

    std::uint32_t rate() const override { return rate_; }
    std::uint32_t channels() const override { return kChannels; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::uint32_t kind() const override { return kKindMusic; }

    std::size_t read(std::int16_t* out, std::size_t frames) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - pos_));
        std::size_t done = 0;
        while (done < want && !ended_) {
            const std::size_t got = openmpt_module_read_interleaved_stereo(
                mod_.get(), static_cast<std::int32_t>(rate_), want - done, out + done * kChannels);
            if (got == 0) {
                ended_ = true;
            }
            done += got;
        }
        // The renderer may stop a little before the computed duration; the length promised at
        // open is kept by padding with silence.
        std::fill(out + done * kChannels, out + want * kChannels, std::int16_t{0});
        pos_ += want;
        return want;
    }

    bool seek(std::uint64_t frame) override {
        if (frame > length_) {
            return false;
        }
        // libopenmpt seeks to a row start, which may lie after the time asked; step back until
        // it lies at or before, then render forward to the exact frame.
        const double target = static_cast<double>(frame) / rate_;
        double ask = target;
        double back = kSeekBackStepSeconds;
        double landed = openmpt_module_set_position_seconds(mod_.get(), ask);
        while (landed > target && ask > 0.0) {
            ask = std::max(0.0, target - back);
            back *= 2.0;
            landed = openmpt_module_set_position_seconds(mod_.get(), ask);
        }
        ended_ = false;
        const double ahead = std::max(0.0, (target - landed) * rate_);
        auto skip = static_cast<std::uint64_t>(std::llround(ahead));
        std::vector<std::int16_t> scratch(kDiscardChunkFrames * kChannels);
        while (skip > 0) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(skip, kDiscardChunkFrames));
            const std::size_t got = openmpt_module_read_interleaved_stereo(
                mod_.get(), static_cast<std::int32_t>(rate_), n, scratch.data());
            if (got == 0) {
                ended_ = true;
                break;
            }
            skip -= got;
        }
        pos_ = frame;
        return true;
    }

  private:
    std::unique_ptr<openmpt_module, ModuleCloser> mod_;
    std::uint32_t rate_;
    std::uint64_t length_;
    std::uint64_t pos_ = 0;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> OpenModuleFile(const std::string& path, std::uint32_t rate, bool ramp) {
    if (rate == 0) {
        rate = kDefaultRate;
    }
    if (rate < kMinRate || rate > kMaxRate) {
        return nullptr;
    }
    auto file = SourceFile::Open(path);
    if (!file || file->size() == 0 || file->size() > kMaxModuleBytes) {
        return nullptr;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(file->size()));
    if (file->read(data.data(), data.size()) != data.size()) {
        return nullptr;
    }
    int error = 0;
    const char* message = nullptr;
    std::unique_ptr<openmpt_module, ModuleCloser> mod(openmpt_module_create_from_memory2(
        data.data(), data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, &error, &message, nullptr));
    openmpt_free_string(message);
    if (!mod) {
        return nullptr;
    }
    openmpt_module_set_repeat_count(mod.get(), 0);
    // Deterministic output (no dither noise), and notes already sounding at a seek target are
    // resumed rather than left silent.
    openmpt_module_ctl_set_integer(mod.get(), "dither", 0);
    openmpt_module_ctl_set_boolean(mod.get(), "seek.sync_samples", 1);
    openmpt_module_set_render_param(mod.get(), OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                    ramp ? kRampDefault : kRampOff);
    const double seconds = openmpt_module_get_duration_seconds(mod.get());
    if (!(seconds > 0.0)) {
        return nullptr;
    }
    const auto length =
        static_cast<std::uint64_t>(std::llround(std::min(seconds, kMaxSeconds) * rate));
    if (length == 0) {
        return nullptr;
    }
    return std::make_unique<OpenmptDecoder>(std::move(mod), rate, length);
}

}  // namespace tarvel::audio
