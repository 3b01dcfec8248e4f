#include "tests/support/LongRecording.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "audio/decoders/MpegProbe.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr int kKbps = 32;
// The repeated stretch: 1000 frames (26.1 s), taken from a slightly longer encoding so that the
// encoder's tail never ends up inside it.
constexpr std::size_t kStretchFrames = 1000;
constexpr double kEncodedSeconds = 28.0;
constexpr double kToneAmplitude = 0.25;

// The byte length of the first `frames` MPEG frames of `data`, or 0 if it holds fewer.
std::size_t FramesBytes(const std::vector<std::uint8_t>& data, std::size_t frames) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (pos + 4 > data.size()) {
            return 0;
        }
        const auto header = audio::ParseMpegFrameHeader(data.data() + pos);
        if (!header || header->frameBytes == 0) {
            return 0;
        }
        pos += header->frameBytes;
    }
    return pos <= data.size() ? pos : 0;
}

}  // namespace

void WriteSparseWav(const std::filesystem::path& path, std::uint32_t rate, std::uint32_t channels,
                    std::uint64_t frames) {
    Pcm none;
    none.rate = rate;
    none.channels = channels;
    WavOptions options;
    options.zeroSizes = true;
    const std::vector<std::uint8_t> header = EncodeWav(none, options);
    WriteBytes(path, header);
    std::filesystem::resize_file(path, header.size() + frames * channels * sizeof(std::int16_t));
}

bool WriteLongMp3(const std::filesystem::path& path, std::uint64_t mpegFrames, double toneHz) {
    const std::filesystem::path wav = path.string() + ".stretch.wav";
    const std::filesystem::path mp3 = path.string() + ".stretch.mp3";
    WriteWav(wav, MakeSine(kRate, 2, static_cast<std::size_t>(kEncodedSeconds * kRate), toneHz,
                           kToneAmplitude));
    const bool encoded = EncodeMp3(wav, mp3, kKbps, /*noInfoTag=*/true, {"--resample", "44.1"});
    const std::vector<std::uint8_t> stretch =
        encoded ? ReadBytes(mp3) : std::vector<std::uint8_t>{};
    std::filesystem::remove(wav);
    std::filesystem::remove(mp3);
    const std::size_t whole = FramesBytes(stretch, kStretchFrames);
    const std::size_t rest = FramesBytes(stretch, mpegFrames % kStretchFrames);
    if (whole == 0 || (mpegFrames % kStretchFrames != 0 && rest == 0)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto* bytes = reinterpret_cast<const char*>(stretch.data());
    for (std::uint64_t i = 0; i < mpegFrames / kStretchFrames; ++i) {
        out.write(bytes, static_cast<std::streamsize>(whole));
    }
    out.write(bytes, static_cast<std::streamsize>(rest));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return true;
}

}  // namespace tarvel::test
