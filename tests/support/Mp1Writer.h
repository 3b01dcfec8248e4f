// A tiny MPEG-1 Layer I encoder for tests: no encoder in the tool set writes layer 1.
// It fills one subband k (1..31) with a steady value. The synthesis filterbank turns a steady
// subband into a signal with period 32 samples; its strongest component lies at the edge of the
// subband that is a multiple of rate / 32, i.e. ((k + 1) / 2) x rate / 32 (integer division).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel::test {

inline constexpr std::size_t kMp1SamplesPerFrame = 384;

struct Mp1Options {
    std::uint32_t rate = 44100;  // 32000, 44100 or 48000
    std::uint32_t channels = 2;  // 1 or 2
    std::size_t frames = 100;    // MPEG frames of 384 samples each
    int subband = 2;             // 1..31
    double amplitude = 0.5;      // of the subband's full scale, below 1
};

// The raw stream (no tags). The decoded tone's frequency for the options above.
std::vector<std::uint8_t> EncodeMp1Tone(const Mp1Options& options);
double Mp1ToneFrequency(const Mp1Options& options);
// Bytes of every frame the encoder writes for these options (all frames are equally long).
std::size_t Mp1FrameBytes(const Mp1Options& options);

}  // namespace tarvel::test
