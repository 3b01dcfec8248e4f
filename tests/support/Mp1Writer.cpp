#include "tests/support/Mp1Writer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tarvel::test {
namespace {

constexpr int kSubbands = 32;
constexpr int kGroups = 12;  // samples per subband in a frame
constexpr std::uint32_t kBitrateKbps = 384;
constexpr int kBitrateIndex = 12;  // 384 kbit/s in the layer 1 table
constexpr int kAllocation = 14;    // code 14 = 15 bits per sample
constexpr int kSampleBits = kAllocation + 1;
constexpr int kScalefactorIndex = 3;  // 2 x 2^(-3/3) = 1.0
constexpr int kModeStereo = 0;
constexpr int kModeMono = 3;

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (bit_ == 0) {
                out_.push_back(0);
            }
            if ((value >> i) & 1u) {
                out_.back() |= static_cast<std::uint8_t>(0x80u >> bit_);
            }
            bit_ = (bit_ + 1) % 8;
        }
    }

  private:
    std::vector<std::uint8_t>& out_;
    int bit_ = 0;
};

int RateIndex(std::uint32_t rate) {
    switch (rate) {
        case 44100:
            return 0;
        case 48000:
            return 1;
        case 32000:
            return 2;
        default:
            throw std::invalid_argument("layer 1 rate must be 32000, 44100 or 48000");
    }
}

// Layer 1 quantisation: the decoder maps code c (MSB inverted, as a signed fraction s) to
// 2^nb / (2^nb - 1) x (s + 2^(1 - nb)); this is its inverse, avoiding the all-ones code.
std::uint32_t Quantise(double v, int nb) {
    const double steps = std::ldexp(1.0, nb);
    const double s = v * (steps - 1.0) / steps - std::ldexp(1.0, 1 - nb);
    const long half = 1L << (nb - 1);
    long q = std::lround(s * static_cast<double>(half));
    q = std::max(-half, std::min(half - 2, q));
    return static_cast<std::uint32_t>((q & ((1L << nb) - 1)) ^ half);
}

}  // namespace

std::size_t Mp1FrameBytes(const Mp1Options& o) {
    constexpr std::size_t kSlotBytes = 4;
    constexpr std::size_t kSlotsPerBitrate = 12;
    return kSlotsPerBitrate * kBitrateKbps * 1000 / o.rate * kSlotBytes;
}

double Mp1ToneFrequency(const Mp1Options& o) {
    constexpr double kSubbandsPerHalfBand = 2.0;
    return std::floor((o.subband + 1) / kSubbandsPerHalfBand) * o.rate / kSubbands;
}

std::vector<std::uint8_t> EncodeMp1Tone(const Mp1Options& o) {
    if (o.subband < 1 || o.subband >= kSubbands) {
        throw std::invalid_argument("layer 1 test tone subband must be 1..31");
    }
    if (o.channels != 1 && o.channels != 2) {
        throw std::invalid_argument("layer 1 test streams are mono or stereo");
    }
    const int rateIndex = RateIndex(o.rate);
    const std::size_t frameBytes = Mp1FrameBytes(o);
    const int channels = static_cast<int>(o.channels);
    const std::uint32_t code = Quantise(o.amplitude, kSampleBits);
    std::vector<std::uint8_t> out;
    out.reserve(frameBytes * o.frames);
    for (std::size_t f = 0; f < o.frames; ++f) {
        const std::size_t start = out.size();
        BitWriter w(out);
        w.put(0xFFF, 12);  // sync
        w.put(1, 1);       // MPEG-1
        w.put(3, 2);       // layer 1
        w.put(1, 1);       // no CRC
        w.put(kBitrateIndex, 4);
        w.put(static_cast<std::uint32_t>(rateIndex), 2);
        w.put(0, 1);  // padding
        w.put(0, 1);  // private
        w.put(channels == 2 ? kModeStereo : kModeMono, 2);
        w.put(0, 2);  // mode extension
        w.put(0, 4);  // copyright, original, emphasis
        for (int sb = 0; sb < kSubbands; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                w.put(sb == o.subband ? kAllocation : 0, 4);
            }
        }
        for (int ch = 0; ch < channels; ++ch) {
            w.put(kScalefactorIndex, 6);
        }
        for (int g = 0; g < kGroups; ++g) {
            for (int ch = 0; ch < channels; ++ch) {
                w.put(code, kSampleBits);
            }
        }
        out.resize(start + frameBytes, 0);
    }
    return out;
}

}  // namespace tarvel::test
