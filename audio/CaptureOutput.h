// Capture output, for tests and tools: the engine's own mixer without a device. Nothing runs on
// its own and nothing is rendered ahead: the thread calling CaptureRender renders just the frames
// asked for and mixes them at once, so sync callbacks run there.
//
//   tarvel::audio::InitCapture(44100);            // instead of BASS_Init
//   HSTREAM s = ...; BASS_ChannelPlay(s, 0);      // the usual calls
//   std::vector<std::int16_t> buf(2 * 4410);
//   tarvel::audio::CaptureRender(buf.data(), 4410);  // 100 ms of 16-bit stereo
//   BASS_Free();                                  // ends the capture like a device
//
// Position and level of a playing channel describe the last frame rendered (no latency).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/Output.h"
#include "audio/bass.h"

namespace tarvel::audio {

class CaptureOutput final : public Output {
  public:
    explicit CaptureOutput(std::uint32_t rate);
    std::uint64_t heardFrame() const override { return mixer().mixedFrames(); }
    bool isCapture() const override { return true; }
};

// Opens the capture output at `freq` Hz (16-bit stereo). 0 if an output is already open.
BOOL InitCapture(DWORD freq);
// Mixes `frames` stereo frames into `out` (2 x frames samples) on the calling thread. Returns
// `frames`, or 0 when no capture output is open.
std::size_t CaptureRender(std::int16_t* out, std::size_t frames);
// Renders `frames` frames into a WAV file at `path`; false if no capture or the file fails.
bool CaptureRenderToWav(const std::string& path, std::size_t frames);

}  // namespace tarvel::audio
