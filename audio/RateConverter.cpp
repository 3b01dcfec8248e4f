#include "audio/RateConverter.h"

#include <soxr.h>

namespace tarvel::audio {

namespace {
// Input frames pulled from the source at a time.
constexpr std::size_t kInputFrames = 1024;
constexpr unsigned kStereo = 2;
// Rounds without input taken or output made before giving up on this call (never expected).
constexpr int kMaxIdleRounds = 8;
}  // namespace

RateConverter::~RateConverter() {
    if (soxr_) {
        soxr_delete(soxr_);
    }
}

void RateConverter::reset() {
    inputAt_ = 0;
    inputLeft_ = 0;
    flushing_ = false;
    ended_ = false;
    if (soxr_) {
        soxr_clear(soxr_);
    }
}

bool RateConverter::prepare(std::uint32_t inRate, std::uint32_t outRate) {
    if (soxr_ && inRate == inRate_ && outRate == outRate_) {
        return true;
    }
    if (soxr_) {
        soxr_delete(soxr_);
        soxr_ = nullptr;
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(inRate, outRate, kStereo, &error, &io, &quality, nullptr);
    if (error || !soxr_) {
        soxr_ = nullptr;
        return false;
    }
    inRate_ = inRate;
    outRate_ = outRate;
    input_.assign(kInputFrames * kStereo, 0);
    inputAt_ = 0;
    inputLeft_ = 0;
    flushing_ = false;
    ended_ = false;
    return true;
}

std::size_t RateConverter::produce(std::uint32_t inRate, std::uint32_t outRate, std::int16_t* out,
                                   std::size_t frames, const Pull& pull) {
    if (!prepare(inRate, outRate)) {
        ended_ = true;
        return 0;
    }
    if (ended_) {
        reset();  // the last run ended; this is a new one
    }
    std::size_t done = 0;
    int idle = 0;
    while (done < frames && idle < kMaxIdleRounds) {
        if (inputLeft_ == 0 && !flushing_) {
            const Pulled got = pull(input_.data(), kInputFrames);
            inputAt_ = 0;
            inputLeft_ = got.frames;
            if (got.frames == 0) {
                if (!got.ended) {
                    break;  // nothing for the moment: carry on later from here
                }
                flushing_ = true;
            }
        }
        std::size_t used = 0;
        std::size_t made = 0;
        const std::int16_t* in = flushing_ ? nullptr : input_.data() + inputAt_ * kStereo;
        soxr_process(soxr_, in, flushing_ ? 0 : inputLeft_, &used, out + done * kStereo,
                     frames - done, &made);
        inputAt_ += used;
        inputLeft_ -= used;
        done += made;
        if (flushing_ && made == 0) {
            ended_ = true;
            break;
        }
        idle = used == 0 && made == 0 ? idle + 1 : 0;
    }
    return done;
}

}  // namespace tarvel::audio
