#include "tests/support/TestAudio.h"

#include "tests/support/ByteWriter.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tarvel::test {
namespace {

constexpr double kFullScale = 32767.0;
constexpr double kRightFreqFactor = 1.5;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kFmtSize = 16;
constexpr std::uint32_t kFmtExtensibleSize = 40;
constexpr std::uint16_t kExtensibleExtraSize = 22;
// The GUID tail shared by KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT after the 2-byte format tag.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t BytesPerSample(WavFormat f) {
    switch (f) {
        case WavFormat::kU8:
            return 1;
        case WavFormat::kS16:
            return 2;
        case WavFormat::kS24:
            return 3;
        case WavFormat::kS32:
        case WavFormat::kFloat32:
            return 4;
        case WavFormat::kFloat64:
            return 8;
    }
    return 2;
}

bool IsFloat(WavFormat f) {
    return f == WavFormat::kFloat32 || f == WavFormat::kFloat64;
}

int Run(const std::string& command) {
    return std::system(command.c_str());
}

std::string Quote(const std::filesystem::path& p) {
    std::string out = "'";
    for (char c : p.string()) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace

Pcm MakeSine(std::uint32_t rate, std::uint32_t channels, std::size_t frames, double freqHz,
             double amplitude) {
    Pcm pcm{rate, channels, {}};
    pcm.samples.resize(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const double f = freqHz * (c % 2 == 0 ? 1.0 : kRightFreqFactor);
            const double v = std::sin(2.0 * std::numbers::pi * f * static_cast<double>(i) / rate);
            pcm.samples[i * channels + c] =
                static_cast<std::int16_t>(std::lrint(v * amplitude * kFullScale));
        }
    }
    return pcm;
}

Pcm MakeNoise(std::uint32_t rate, std::uint32_t channels, std::size_t frames, std::uint32_t seed,
              double amplitude) {
    Pcm pcm{rate, channels, {}};
    pcm.samples.resize(frames * channels);
    std::mt19937 gen(seed);
    const auto limit = static_cast<int>(amplitude * kFullScale);
    std::uniform_int_distribution<int> dist(-limit, limit);
    for (auto& s : pcm.samples) {
        s = static_cast<std::int16_t>(dist(gen));
    }
    return pcm;
}

Pcm MakeSilence(std::uint32_t rate, std::uint32_t channels, std::size_t frames) {
    Pcm pcm{rate, channels, {}};
    pcm.samples.assign(frames * channels, 0);
    return pcm;
}

Pcm MakeRamp(std::uint32_t rate, std::uint32_t channels, std::size_t frames) {
    constexpr std::uint32_t kChannelOffset = 1000;
    constexpr std::uint32_t kStep = 7;  // odd, so the ramp visits every value before repeating
    Pcm pcm{rate, channels, {}};
    pcm.samples.resize(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const auto u = static_cast<std::uint16_t>(i * kStep + c * kChannelOffset);
            pcm.samples[i * channels + c] = static_cast<std::int16_t>(u);
        }
    }
    return pcm;
}

std::int16_t ExpectedAfter(WavFormat format, std::int16_t v) {
    if (format == WavFormat::kU8) {
        return static_cast<std::int16_t>((v >> 8) * 256);
    }
    return v;
}

std::vector<std::uint8_t> EncodeWav(const Pcm& pcm, const WavOptions& options) {
    const std::uint32_t bps = BytesPerSample(options.format);
    const auto blockAlign = static_cast<std::uint16_t>(bps * pcm.channels);
    const auto dataBytes = static_cast<std::uint32_t>(pcm.samples.size() * bps);
    const std::uint32_t fmtSize = options.extensible ? kFmtExtensibleSize : kFmtSize;
    const std::uint16_t tag = IsFloat(options.format) ? kFormatFloat : kFormatPcm;

    std::vector<std::uint8_t> b;
    b.reserve(64 + dataBytes);
    PutTag(b, "RIFF");
    Put32(b, options.zeroSizes ? 0 : 4 + 8 + fmtSize + 8 + dataBytes + (dataBytes & 1u));
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, fmtSize);
    Put16(b, options.extensible ? kFormatExtensible : tag);
    Put16(b, static_cast<std::uint16_t>(pcm.channels));
    Put32(b, pcm.rate);
    Put32(b, pcm.rate * blockAlign);
    Put16(b, blockAlign);
    Put16(b, static_cast<std::uint16_t>(bps * 8));
    if (options.extensible) {
        Put16(b, kExtensibleExtraSize);
        Put16(b, static_cast<std::uint16_t>(bps * 8));  // valid bits
        const std::uint32_t mask = pcm.channels == 1 ? 0x4u : (1u << pcm.channels) - 1u;
        Put32(b, mask);
        Put16(b, tag);
        b.insert(b.end(), std::begin(kSubFormatTail), std::end(kSubFormatTail));
    }
    PutTag(b, "data");
    Put32(b, options.zeroSizes ? 0 : dataBytes);
    for (const std::int16_t s : pcm.samples) {
        switch (options.format) {
            case WavFormat::kU8:
                b.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
                break;
            case WavFormat::kS16:
                Put16(b, static_cast<std::uint16_t>(s));
                break;
            case WavFormat::kS24: {
                const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(s) * 256);
                b.push_back(static_cast<std::uint8_t>(v));
                b.push_back(static_cast<std::uint8_t>(v >> 8));
                b.push_back(static_cast<std::uint8_t>(v >> 16));
                break;
            }
            case WavFormat::kS32:
                Put32(b, static_cast<std::uint32_t>(static_cast<std::int32_t>(s) * 65536));
                break;
            case WavFormat::kFloat32: {
                const float f = static_cast<float>(s) / 32768.0f;
                std::uint32_t u;
                std::memcpy(&u, &f, sizeof u);
                Put32(b, u);
                break;
            }
            case WavFormat::kFloat64: {
                const double d = static_cast<double>(s) / 32768.0;
                std::uint64_t u;
                std::memcpy(&u, &d, sizeof u);
                Put32(b, static_cast<std::uint32_t>(u));
                Put32(b, static_cast<std::uint32_t>(u >> 32));
                break;
            }
        }
    }
    if (dataBytes & 1u) {
        b.push_back(0);
    }
    return b;
}

void WriteWav(const std::filesystem::path& path, const Pcm& pcm, const WavOptions& options) {
    WriteBytes(path, EncodeWav(pcm, options));
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> b(size);
    for (auto& v : b) {
        v = static_cast<std::uint8_t>(gen());
    }
    return b;
}

bool EncodeMp3(const std::filesystem::path& wav, const std::filesystem::path& mp3, int kbps,
               bool noInfoTag, const std::vector<std::string>& options) {
    std::ostringstream cmd;
    cmd << "lame --quiet -b " << kbps << " --cbr " << (noInfoTag ? "-t " : "");
    for (const auto& o : options) {
        cmd << o << ' ';
    }
    cmd << Quote(wav) << ' ' << Quote(mp3);
    return Run(cmd.str()) == 0 && std::filesystem::exists(mp3);
}

bool EncodeMp2(const std::filesystem::path& wav, const std::filesystem::path& mp2, int kbps) {
    std::ostringstream cmd;
    cmd << "twolame --quiet -b " << kbps << ' ' << Quote(wav) << ' ' << Quote(mp2);
    return Run(cmd.str()) == 0 && std::filesystem::exists(mp2);
}

bool ConvertWithSox(const std::filesystem::path& in, const std::filesystem::path& out,
                    const std::vector<std::string>& outOptions) {
    std::ostringstream cmd;
    cmd << "sox -q " << Quote(in);
    for (const auto& o : outOptions) {
        cmd << ' ' << o;
    }
    cmd << ' ' << Quote(out);
    return Run(cmd.str()) == 0 && std::filesystem::exists(out);
}

bool RunTool(const std::vector<std::string>& argv, const std::filesystem::path& out) {
    std::ostringstream cmd;
    for (const auto& arg : argv) {
        cmd << Quote(arg) << ' ';
    }
    cmd << ">/dev/null 2>&1";
    return Run(cmd.str()) == 0 && std::filesystem::exists(out);
}

bool EncodeFlac(const std::filesystem::path& wav, const std::filesystem::path& out, bool ogg) {
    std::vector<std::string> argv = {"flac", "--silent", "--force"};
    if (ogg) {
        argv.emplace_back("--ogg");
    }
    argv.insert(argv.end(), {wav.string(), "-o", out.string()});
    return RunTool(argv, out);
}

bool EncodeVorbis(const std::filesystem::path& wav, const std::filesystem::path& out, int quality) {
    return RunTool(
        {"oggenc", "--quiet", "-q", std::to_string(quality), wav.string(), "-o", out.string()},
        out);
}

double Correlation(const std::int16_t* a, const std::int16_t* b, std::size_t count) {
    if (count == 0) {
        return 0.0;
    }
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= static_cast<double>(count);
    mb /= static_cast<double>(count);
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double da = a[i] - ma;
        const double db = b[i] - mb;
        sab += da * db;
        saa += da * da;
        sbb += db * db;
    }
    if (saa == 0 || sbb == 0) {
        return 0.0;
    }
    return sab / std::sqrt(saa * sbb);
}

TempDir::TempDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    const char* base = std::getenv("TARVEL_TEST_TMP");
    const std::filesystem::path root = base != nullptr && *base != '\0'
                                           ? std::filesystem::path(base)
                                           : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(root);
    path_ = root / (tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace tarvel::test
