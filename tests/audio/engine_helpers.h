// Helpers shared by the engine tests: opening generated audio through the BASS_* layer, reading a
// decode-only channel to its end, and a source whose content the test fixes sample by sample.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/Decoder.h"
#include "audio/bass.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {

// A decode-only stream on a WAV file holding `pcm`, written into `dir`.
HSTREAM OpenWavStream(const test::TempDir& dir, const test::Pcm& pcm, const char* name = "a.wav",
                      DWORD flags = BASS_STREAM_DECODE);
// A decoder over samples held in memory (no file), for sources of any shape.
std::unique_ptr<audio::Decoder> MakePcmDecoder(test::Pcm pcm);
// A decode-only stream over MakePcmDecoder.
HSTREAM OpenPcmStream(test::Pcm pcm, DWORD flags = BASS_STREAM_DECODE);
// Everything GetData yields until it fails, in reads of `chunkBytes`.
std::vector<std::int16_t> ReadAllData(DWORD handle, DWORD chunkBytes = 10240);
// A mono sine at `freqHz` with phase 0 at frame 0, amplitude a fraction of full scale.
test::Pcm MonoSine(std::uint32_t rate, std::size_t frames, double freqHz, double amplitude);

}  // namespace tarvel::engine_test
