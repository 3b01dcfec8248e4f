// Writes the demo recording that the player opens at start-up: about 24 s of 44.1 kHz 16-bit
// stereo, phrases of short tones separated by pauses, so the overview shows a varied envelope.
// Usage: tarvel-make-demo <output.wav>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

#include "audio/LittleEndian.h"

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint16_t kChannels = 2;
constexpr std::uint16_t kBits = 16;
constexpr double kSeconds = 24.0;
constexpr double kPeak = 0.95 * 32767.0;

// Deterministic pseudo-random numbers: the same file on every build.
class Lcg {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53);
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

  private:
    std::uint64_t state_ = 0x7A11E1ULL;
};

// A pentatonic scale keeps the phrases pleasant.
constexpr std::array<double, 8> kNotes{261.63, 293.66, 329.63, 392.00,
                                       440.00, 523.25, 587.33, 659.25};

void AddTone(std::vector<double>& left, std::vector<double>& right, std::size_t start,
             std::size_t length, double freq, double gain, double pan) {
    const double attack = 0.01 * kRate;
    for (std::size_t i = 0; i < length && start + i < left.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double rise = std::min(1.0, static_cast<double>(i) / attack);
        const double fall = std::exp(-1.5 * static_cast<double>(i) / static_cast<double>(length));
        const double tail =
            std::min(1.0, static_cast<double>(length - i) / attack);  // no click at the end
        const double wave = std::sin(2.0 * std::numbers::pi * freq * t) +
                            0.3 * std::sin(4.0 * std::numbers::pi * freq * t);
        const double v = gain * rise * fall * tail * wave / 1.3;
        left[start + i] += v * (1.3 - pan);
        right[start + i] += v * (0.3 + pan);
    }
}

void PutLe(std::ofstream& out, std::uint32_t value, int bytes) {
    std::uint8_t b[4];
    tarvel::audio::WriteLe32(b, value);
    out.write(reinterpret_cast<const char*>(b), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.wav>\n", argv[0]);
        return 2;
    }
    const auto frames = static_cast<std::size_t>(kSeconds * kRate);
    std::vector<double> left(frames, 0.0);
    std::vector<double> right(frames, 0.0);
    Lcg rng;
    double t = 0.5;
    while (t < kSeconds - 1.0) {
        const int notes = 3 + static_cast<int>(rng.Range(0, 6));
        const double phraseGain = rng.Range(0.55, 1.0);
        for (int n = 0; n < notes && t < kSeconds - 0.5; ++n) {
            const double length = rng.Range(0.12, 0.35);
            const double freq = kNotes[static_cast<std::size_t>(rng.Range(0, kNotes.size()))];
            const double gain = phraseGain * rng.Range(0.5, 1.0);
            AddTone(left, right, static_cast<std::size_t>(t * kRate),
                    static_cast<std::size_t>(length * kRate), freq, gain, rng.Range(0.3, 0.7));
            t += length + rng.Range(0.0, 0.06);
        }
        t += rng.Range(0.35, 0.9);  // pause between phrases
    }

    std::ofstream out(argv[1], std::ios::binary);
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames) * kChannels * (kBits / 8);
    out.write("RIFF", 4);
    PutLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, kChannels, 2);
    PutLe(out, kRate, 4);
    PutLe(out, kRate * kChannels * (kBits / 8), 4);
    PutLe(out, kChannels * (kBits / 8), 2);
    PutLe(out, kBits, 2);
    out.write("data", 4);
    PutLe(out, dataBytes, 4);
    for (std::size_t i = 0; i < frames; ++i) {
        for (const double v : {left[i], right[i]}) {
            const double s = std::clamp(v * kPeak, -32768.0, 32767.0);
            PutLe(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(s))), 2);
        }
    }
    return out ? 0 : 1;
}
