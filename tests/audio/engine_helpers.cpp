#include "tests/audio/engine_helpers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/Engine.h"

namespace tarvel::engine_test {

namespace {
class PcmDecoder final : public audio::Decoder {
  public:
    explicit PcmDecoder(test::Pcm pcm) : pcm_(std::move(pcm)) {}
    std::uint32_t rate() const override { return pcm_.rate; }
    std::uint32_t channels() const override { return pcm_.channels; }
    std::uint64_t lengthFrames() const override { return pcm_.frames(); }
    std::size_t read(std::int16_t* out, std::size_t frames) override {
        const std::size_t n = std::min<std::size_t>(frames, pcm_.frames() - pos_);
        std::copy_n(pcm_.samples.begin() + static_cast<std::ptrdiff_t>(pos_ * pcm_.channels),
                    n * pcm_.channels, out);
        pos_ += n;
        return n;
    }
    bool seek(std::uint64_t frame) override {
        if (frame > pcm_.frames()) {
            return false;
        }
        pos_ = frame;
        return true;
    }
    std::uint32_t kind() const override { return audio::kKindWav; }

  private:
    test::Pcm pcm_;
    std::size_t pos_ = 0;
};
}  // namespace

HSTREAM OpenWavStream(const test::TempDir& dir, const test::Pcm& pcm, const char* name,
                      DWORD flags) {
    const std::filesystem::path path = dir.file(name);
    test::WriteWav(path, pcm);
    return BASS_StreamCreateFile(0, path.c_str(), 0, 0, flags);
}

std::unique_ptr<audio::Decoder> MakePcmDecoder(test::Pcm pcm) {
    return std::make_unique<PcmDecoder>(std::move(pcm));
}

HSTREAM OpenPcmStream(test::Pcm pcm, DWORD flags) {
    return audio::CreateStream(MakePcmDecoder(std::move(pcm)), flags, audio::ChannelKind::Stream);
}

std::vector<std::int16_t> ReadAllData(DWORD handle, DWORD chunkBytes) {
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buf(chunkBytes / 2 + 1);
    for (;;) {
        const DWORD got = BASS_ChannelGetData(handle, buf.data(), chunkBytes);
        if (got == BASS_ERROR_DWORD || got == 0) {
            break;
        }
        all.insert(all.end(), buf.begin(), buf.begin() + got / 2);
    }
    return all;
}

test::Pcm MonoSine(std::uint32_t rate, std::size_t frames, double freqHz, double amplitude) {
    test::Pcm pcm{rate, 1, {}};
    pcm.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        pcm.samples[i] = static_cast<std::int16_t>(std::lround(
            amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * freqHz * i / rate)));
    }
    return pcm;
}

}  // namespace tarvel::engine_test
