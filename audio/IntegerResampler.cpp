#include "audio/IntegerResampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvel::audio {

namespace {
// Filter taps on each side of the centre, per frame at the low rate: with the Kaiser window
// below this gives a transition band of about 13 % of the low rate and 70 dB of stopband.
constexpr std::size_t kTapsPerSide = 16;
constexpr double kKaiserBeta = 7.0;
// Pass band edge in units of the low rate: the cut-off sits below its Nyquist frequency by half
// the transition band, so what folds back is attenuated fully.
constexpr double kCutoff = 0.43;

double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-12) {
            break;
        }
    }
    return sum;
}

std::vector<float> DesignLowPass(std::uint32_t factor) {
    const std::size_t n = 2 * kTapsPerSide * factor + 1;
    std::vector<float> taps(n);
    if (factor == 1) {
        std::fill(taps.begin(), taps.end(), 0.0f);
        taps[n / 2] = 1.0f;
        return taps;
    }
    const double centre = static_cast<double>(n - 1) / 2.0;
    const double fc = kCutoff / factor;  // cycles per high-rate frame
    const double norm = BesselI0(kKaiserBeta);
    std::vector<double> h(n);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) - centre;
        const double sinc =
            t == 0.0 ? 2.0 * fc
                     : std::sin(2.0 * std::numbers::pi * fc * t) / (std::numbers::pi * t);
        const double r = t / centre;
        const double window = BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
        h[i] = sinc * window;
        sum += h[i];
    }
    for (std::size_t i = 0; i < n; ++i) {
        taps[i] = static_cast<float>(h[i] / sum);
    }
    return taps;
}
}  // namespace

IntegerResampler::IntegerResampler(std::uint32_t factor, std::uint32_t channels)
    : factor_(std::max<std::uint32_t>(1, factor)),
      channels_(std::max<std::uint32_t>(1, channels)),
      taps_(DesignLowPass(factor_)) {
    reset();
}

void IntegerResampler::reset() {
    downHistory_.assign((taps_.size() - 1) * channels_, 0.0f);
    downPhase_ = 0;
    const std::size_t reach = (taps_.size() + factor_ - 1) / factor_;
    upHistory_.assign((reach - 1) * channels_, 0.0f);
}

void IntegerResampler::decimate(const float* in, std::size_t frames, std::vector<float>& out) {
    const std::size_t n = taps_.size();
    const std::size_t held = n - 1;
    scratch_.assign(downHistory_.begin(), downHistory_.end());
    scratch_.insert(scratch_.end(), in, in + frames * channels_);
    // Frame q of the scratch buffer (q >= held) is input frame q - held of this call.
    std::size_t q = held + downPhase_;
    for (; q < held + frames; q += factor_) {
        const float* newest = scratch_.data() + q * channels_;
        for (std::uint32_t c = 0; c < channels_; ++c) {
            float acc = 0.0f;
            for (std::size_t k = 0; k < n; ++k) {
                acc += taps_[k] * (newest - k * channels_)[c];
            }
            out.push_back(acc);
        }
    }
    downPhase_ = q - (held + frames);
    downHistory_.assign(scratch_.end() - static_cast<std::ptrdiff_t>(held * channels_),
                        scratch_.end());
}

void IntegerResampler::interpolate(const float* in, std::size_t frames, std::vector<float>& out) {
    const std::size_t n = taps_.size();
    const std::size_t held = upHistory_.size() / channels_;
    scratch_.assign(upHistory_.begin(), upHistory_.end());
    scratch_.insert(scratch_.end(), in, in + frames * channels_);
    const float gain = static_cast<float>(factor_);
    for (std::size_t m = held; m < held + frames; ++m) {
        const float* newest = scratch_.data() + m * channels_;
        for (std::uint32_t p = 0; p < factor_; ++p) {
            for (std::uint32_t c = 0; c < channels_; ++c) {
                float acc = 0.0f;
                for (std::size_t j = 0; p + j * factor_ < n; ++j) {
                    acc += taps_[p + j * factor_] * (newest - j * channels_)[c];
                }
                out.push_back(acc * gain);
            }
        }
    }
    upHistory_.assign(scratch_.end() - static_cast<std::ptrdiff_t>(held * channels_),
                      scratch_.end());
}

}  // namespace tarvel::audio
