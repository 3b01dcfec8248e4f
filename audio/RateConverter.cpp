#include "audio/RateConverter.h"

#include <soxr.h>

namespace tarvel::audio {

namespace {
// Input frames the converter asks for at most per call.
constexpr std::size_t kMaxInputFrames = 1024;
}  // namespace

RateConverter::~RateConverter() {
    if (soxr_) {
        soxr_delete(soxr_);
    }
}

void RateConverter::reset() {
    inputEnded_ = false;
    if (soxr_) {
        soxr_clear(soxr_);
        soxr_set_input_fn(soxr_, &RateConverter::supply, this, kMaxInputFrames);
    }
}

std::size_t RateConverter::supply(void* self, const void** data, std::size_t requested) {
    auto* me = static_cast<RateConverter*>(self);
    const std::size_t frames = requested < kMaxInputFrames ? requested : kMaxInputFrames;
    const std::size_t got = (*me->pull_)(me->input_.data(), frames);
    *data = me->input_.data();  // a non-null pointer with 0 frames means end of input
    if (got == 0) {
        me->inputEnded_ = true;
    }
    return got;
}

std::size_t RateConverter::produce(std::uint32_t inRate, std::uint32_t outRate, std::int16_t* out,
                                   std::size_t frames, const Pull& pull) {
    if (!soxr_ || inRate != inRate_ || outRate != outRate_) {
        if (soxr_) {
            soxr_delete(soxr_);
            soxr_ = nullptr;
        }
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        soxr_ = soxr_create(inRate, outRate, 2, &error, &io, &quality, nullptr);
        if (error || !soxr_) {
            soxr_ = nullptr;
            return 0;
        }
        inRate_ = inRate;
        outRate_ = outRate;
        input_.assign(kMaxInputFrames * 2, 0);
        soxr_set_input_fn(soxr_, &RateConverter::supply, this, kMaxInputFrames);
    }
    if (inputEnded_) {
        reset();  // the last run ended; this is a new one
    }
    pull_ = &pull;
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t got = soxr_output(soxr_, out + done * 2, frames - done);
        if (got == 0) {
            break;
        }
        done += got;
    }
    pull_ = nullptr;
    return done;
}

}  // namespace tarvel::audio
