// Helpers shared by the engine tests: opening generated audio through the BASS_* layer, reading a
// decode-only channel to its end, and a source whose content the test fixes sample by sample.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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
// A decoder that claims `claimedFrames` at open and then delivers only `pcm`: a file that shrank
// or failed under its reader.
std::unique_ptr<audio::Decoder> MakeShortDecoder(test::Pcm pcm, std::uint64_t claimedFrames);
// A decode-only stream over MakePcmDecoder.
HSTREAM OpenPcmStream(test::Pcm pcm, DWORD flags = BASS_STREAM_DECODE);
// Everything GetData yields until it fails, in reads of `chunkBytes`.
std::vector<std::int16_t> ReadAllData(DWORD handle, DWORD chunkBytes = 10240);
// A mono sine at `freqHz` with phase 0 at frame 0, amplitude a fraction of full scale.
test::Pcm MonoSine(std::uint32_t rate, std::size_t frames, double freqHz, double amplitude);

// Stereo frames that carry their own frame number (never two zero samples, so silence stands
// apart), and the number read back from a frame; none for silence or a frame no such source has.
test::Pcm FrameNumbers(std::uint32_t rate, std::size_t frames);
std::optional<std::uint64_t> FrameNumberOf(std::int16_t left, std::int16_t right);

// A decoder over `pcm` whose reads, like those of a file on a disk that is busy now and then,
// sleep `stall` once every `every` (the first read included).
std::unique_ptr<audio::Decoder> MakeStallingDecoder(test::Pcm pcm, std::chrono::milliseconds stall,
                                                    std::chrono::milliseconds every);
// A decoder over `pcm` whose reads stall `stall` once after every seek, as soon as `afterFrames`
// have been read from where it went: the first block of a file was in memory, the next is on a
// disk that is busy. `stalls` counts the stalls taken.
std::unique_ptr<audio::Decoder> MakeDecoderStallingAfterSeeks(
    test::Pcm pcm, std::chrono::milliseconds stall, std::uint64_t afterFrames,
    std::shared_ptr<std::atomic<int>> stalls);
// A decode-only stream over any decoder.
HSTREAM OpenDecoderStream(std::unique_ptr<audio::Decoder> decoder);

// A sound's last frames fade out to its end over this many frames (5 ms at 44.1 kHz); the very
// last of them round to silence, so a length measured to the last sounding frame comes out up to
// kEndSilentFrames short.
constexpr std::size_t kEndFadeFrames = 221;
constexpr std::size_t kEndSilentFrames = 8;

// The stretch options the player sets on its tempo stream at load and after each speed change.
void SetStretchOptions(HSTREAM tempo);
// The playable tempo stream the player makes around `source`: stretch options, full volume, and
// `speedPercent` set the way play sets it.
HSTREAM PlayerTempo(HSTREAM source, DWORD flags, int speedPercent = 100);
// The left side of what the capture output renders, in blocks of `blockFrames`, while `h` plays
// (at most `maxFrames`); with `cutSilentEnd`, the silence that pads the block in which it stopped
// is cut off.
std::vector<std::int16_t> RenderLeftWhilePlaying(HSTREAM h, std::size_t maxFrames,
                                                 std::size_t blockFrames, bool cutSilentEnd);

}  // namespace tarvel::engine_test
