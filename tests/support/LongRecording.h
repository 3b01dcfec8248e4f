// Recordings of many hours for the tests of long sources, made in a moment and at little cost
// of disk: a WAV file whose samples are a hole in the file, and an MP3 built from one short
// encoded stretch repeated.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tarvel::test {

// Samples of one MP3 frame (MPEG-1 layer 3).
inline constexpr std::uint64_t kMp3FrameSamples = 1152;

// A 16-bit WAV file of `frames` frames of silence. Its size fields are left 0, as a recorder that
// streams writes them, so the data runs to the end of the file; the file is extended sparsely.
void WriteSparseWav(const std::filesystem::path& path, std::uint32_t rate, std::uint32_t channels,
                    std::uint64_t frames);

// An MP3 of exactly `mpegFrames` frames of a 44.1 kHz stereo tone at 32 kbit/s, without an info
// tag, so that it decodes to mpegFrames x 1152 frames: lame encodes one stretch, which is cut at
// a frame boundary and written again and again. Each repeat begins with the encoder's start
// (about 1100 frames of silence and a rise), so the tone is unbroken only within the first
// 26.1 s. False if lame failed.
bool WriteLongMp3(const std::filesystem::path& path, std::uint64_t mpegFrames,
                  double toneHz = 440.0);

}  // namespace tarvel::test
