// Generated test audio for every test area: signals, WAV images and files, external encoders
// (lame, twolame, sox) and a scratch folder under $TARVEL_TEST_TMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvel::test {

// Interleaved 16-bit PCM.
struct Pcm {
    std::uint32_t rate = 44100;
    std::uint32_t channels = 2;
    std::vector<std::int16_t> samples;

    std::size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
    std::size_t bytes() const { return samples.size() * sizeof(std::int16_t); }
};

// An iterator to element `index` of `v`: offsets here are frame and sample counts (unsigned).
template <class Container>
auto At(Container& v, std::uint64_t index) {
    return v.begin() + static_cast<std::ptrdiff_t>(index);
}

// Signals. `amplitude` is a fraction of full scale (0..1). A stereo sine puts `freqHz` on the left
// and 1.5 x `freqHz` on the right so that swapped channels are noticed.
Pcm MakeSine(std::uint32_t rate, std::uint32_t channels, std::size_t frames, double freqHz,
             double amplitude = 0.5);
Pcm MakeNoise(std::uint32_t rate, std::uint32_t channels, std::size_t frames,
              std::uint32_t seed = 1, double amplitude = 0.5);
Pcm MakeSilence(std::uint32_t rate, std::uint32_t channels, std::size_t frames);
// Every channel steps through -32768..32767 and wraps: each frame differs from its neighbours,
// so an off-by-one-frame seek or a dropped frame shows at once.
Pcm MakeRamp(std::uint32_t rate, std::uint32_t channels, std::size_t frames);

// Sample storage in a written WAV file.
enum class WavFormat { kU8, kS16, kS24, kS32, kFloat32, kFloat64 };

struct WavOptions {
    WavFormat format = WavFormat::kS16;
    bool extensible = false;  // WAVE_FORMAT_EXTENSIBLE header
    bool zeroSizes = false;   // RIFF and data size fields left 0
};

// A complete WAV image of `pcm` (samples widened exactly: 16-bit value v becomes v << 8 in 24-bit,
// v << 16 in 32-bit, v / 32768 in float; 8-bit keeps the high byte).
std::vector<std::uint8_t> EncodeWav(const Pcm& pcm, const WavOptions& options = {});
void WriteWav(const std::filesystem::path& path, const Pcm& pcm, const WavOptions& options = {});

// What a 16-bit sample looks like after a round trip through `format` (8-bit loses the low byte).
std::int16_t ExpectedAfter(WavFormat format, std::int16_t v);

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed);

// External encoders; each returns false if the tool failed (the caller usually skips then).
// lame: CBR at `kbps`, writing the LAME/Xing info frame (gapless data) unless `noInfoTag`;
// `options` go before the file names (lame resamples at low rates unless told "--resample").
bool EncodeMp3(const std::filesystem::path& wav, const std::filesystem::path& mp3, int kbps = 128,
               bool noInfoTag = false, const std::vector<std::string>& options = {});
bool EncodeMp2(const std::filesystem::path& wav, const std::filesystem::path& mp2, int kbps = 192);
bool ConvertWithSox(const std::filesystem::path& in, const std::filesystem::path& out,
                    const std::vector<std::string>& outOptions = {});
// Any command line (each argument quoted for the shell, output silenced); true if it exited 0
// and `out` exists afterwards.
bool RunTool(const std::vector<std::string>& argv, const std::filesystem::path& out);
// flac (native, or Ogg FLAC with `ogg`), oggenc (Vorbis at quality `quality`, -1..10).
bool EncodeFlac(const std::filesystem::path& wav, const std::filesystem::path& out,
                bool ogg = false);
bool EncodeVorbis(const std::filesystem::path& wav, const std::filesystem::path& out,
                  int quality = 3);

// Pearson correlation of two equally long sample runs (the shorter length is used).
double Correlation(const std::int16_t* a, const std::int16_t* b, std::size_t count);

// A fresh folder under $TARVEL_TEST_TMP (or the system temp folder), removed with its contents on
// destruction.
class TempDir {
  public:
    explicit TempDir(const std::string& tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace tarvel::test
