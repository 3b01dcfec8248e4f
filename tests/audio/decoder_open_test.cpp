// Opening through the stream form's table: which decoder claims which bytes, the reason a failed
// open gives, and the bounds on rates and channel counts that keep absurd headers out.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "audio/Decoder.h"
#include "audio/decoders/FormatLimits.h"
#include "audio/decoders/Registry.h"
#include "tests/audio/decoder_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/TestAudio.h"

namespace tarvel::test {
namespace {

using audio::ByteSource;
using audio::OpenFailure;
using decoder_test::ReadAll;

void PutBe32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        b.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

// A Sun/NeXT AU file of 16-bit PCM, which libsndfile reads (the header is big-endian).
std::vector<std::uint8_t> EncodeAu(const Pcm& pcm) {
    constexpr std::uint32_t kHeaderBytes = 24;
    constexpr std::uint32_t kLinear16 = 3;
    std::vector<std::uint8_t> b = {'.', 's', 'n', 'd'};
    PutBe32(b, kHeaderBytes);
    PutBe32(b, static_cast<std::uint32_t>(pcm.bytes()));
    PutBe32(b, kLinear16);
    PutBe32(b, pcm.rate);
    PutBe32(b, pcm.channels);
    for (const std::int16_t s : pcm.samples) {
        const auto u = static_cast<std::uint16_t>(s);
        b.push_back(static_cast<std::uint8_t>(u >> 8));
        b.push_back(static_cast<std::uint8_t>(u));
    }
    return b;
}

struct LimitCase {
    const char* name;
    std::uint32_t rate;
    std::uint32_t channels;
    bool opens;
};

class FormatLimits : public ::testing::TestWithParam<LimitCase> {};

// Our WAV reader and libsndfile (AU) alike: a header outside the bounds is damaged, one inside
// opens and plays, from a file and from memory.
TEST_P(FormatLimits, AbsurdRatesAndChannelCountsAreRefusedAsDamaged) {
    const auto& c = GetParam();
    TempDir dir("limits");
    Pcm pcm{c.rate, c.channels, {}};
    pcm.samples.assign(std::size_t{40} * std::max<std::uint32_t>(c.channels, 1), 1000);
    const struct {
        const char* ext;
        std::vector<std::uint8_t> bytes;
    } files[] = {{"wav", EncodeWav(pcm)}, {"au", EncodeAu(pcm)}};
    for (const auto& f : files) {
        const auto path = dir.file(std::string("x.") + f.ext);
        WriteBytes(path, f.bytes);
        auto fileResult = audio::OpenStream(*ByteSource::File(path));
        auto memResult = audio::OpenStream(ByteSource::Memory(f.bytes.data(), f.bytes.size()));
        for (auto* r : {&fileResult, &memResult}) {
            ASSERT_EQ(r->ok(), c.opens) << f.ext;
            if (!c.opens) {
                EXPECT_EQ(r->failure(), OpenFailure::kDamaged) << f.ext;
                continue;
            }
            auto d = r->take();
            EXPECT_EQ(d->rate(), c.rate) << f.ext;
            EXPECT_EQ(d->channels(), c.channels) << f.ext;
            EXPECT_EQ(ReadAll(*d).size(), pcm.samples.size()) << f.ext;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, FormatLimits,
    ::testing::Values(LimitCase{"rate0", 0, 2, false}, LimitCase{"rate24", 24, 1, false},
                      LimitCase{"rate999", audio::kMinSourceRate - 1, 2, false},
                      LimitCase{"rate1000", audio::kMinSourceRate, 2, true},
                      LimitCase{"rate8000", 8000, 1, true}, LimitCase{"dxd", 352800, 2, true},
                      LimitCase{"rate768k", audio::kMaxSourceRate, 2, true},
                      LimitCase{"rate768k1", audio::kMaxSourceRate + 1, 2, false},
                      LimitCase{"rateMax16ch", 0xFFFFFFFFu, 16, false},
                      LimitCase{"ch0", 44100, 0, false}, LimitCase{"ch64", 44100, 64, true},
                      LimitCase{"ch65", 44100, audio::kMaxSourceChannels + 1, false}),
    ::tarvel::test::CaseName());

// What each decoder of the probe order says to each kind of input: 'O' opens, 'N' not mine,
// 'D' damaged, in table order (wav, flac, vorbis, sndfile, mpeg).
struct ClaimCase {
    const char* name;
    std::function<bool(const TempDir&, const std::filesystem::path&)> make;
    const char* claims;
    char registry;  // what the whole search gives: 'O' or the failure's letter
};

char Letter(const audio::OpenResult& r) {
    if (r.ok()) {
        return 'O';
    }
    switch (r.failure()) {
        case OpenFailure::kNotMine:
            return 'N';
        case OpenFailure::kDamaged:
            return 'D';
        case OpenFailure::kUnreadable:
            return 'U';
    }
    return '?';
}

bool FromWav(const TempDir& dir, const std::filesystem::path& out,
             const std::vector<std::string>& sox = {}) {
    WriteWav(dir.file("in.wav"), MakeNoise(44100, 2, 20000, 3));
    return ConvertWithSox(dir.file("in.wav"), out, sox);
}

std::function<bool(const TempDir&, const std::filesystem::path&)> Bytes(
    std::vector<std::uint8_t> bytes) {
    return [bytes](const TempDir&, const std::filesystem::path& out) {
        WriteBytes(out, bytes);
        return true;
    };
}

const ClaimCase kClaims[] = {
    {"wav_pcm",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, o, {"-t", "wav"});
     },
     "ONNON", 'O'},
    {"wav_gsm",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, o, {"-t", "wav", "-r", "8000", "-c", "1", "-e", "gsm-full-rate"});
     },
     "NNNON", 'O'},
    {"aiff",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, o, {"-t", "aiff"});
     },
     "NNNON", 'O'},
    {"flac",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, d.file("w.wav")) && EncodeFlac(d.file("w.wav"), o);
     },
     "NONNN", 'O'},
    {"ogg_flac",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, d.file("w.wav")) && EncodeFlac(d.file("w.wav"), o, true);
     },
     "NONNN", 'O'},
    {"vorbis",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, d.file("w.wav")) && EncodeVorbis(d.file("w.wav"), o);
     },
     "NNONN", 'O'},
    {"opus",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, d.file("w.wav")) &&
                RunTool({"opusenc", "--quiet", d.file("w.wav").string(), o.string()}, o);
     },
     "NNNON", 'O'},
    {"mp3",
     [](const TempDir& d, const auto& o) {
         return FromWav(d, d.file("w.wav")) && EncodeMp3(d.file("w.wav"), o);
     },
     "NNNNO", 'O'},
    {"random", Bytes(RandomBytes(20000, 4)), "NNNNN", 'N'},
    {"riff_wave_garbage", Bytes([] {
         std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
         const auto tail = RandomBytes(500, 5);
         b.insert(b.end(), tail.begin(), tail.end());
         return b;
     }()),
     "NNNDN", 'D'},
    {"flac_header_only",
     [](const TempDir& d, const auto& o) {
         if (!FromWav(d, d.file("w.wav")) || !EncodeFlac(d.file("w.wav"), d.file("f.flac"))) {
             return false;
         }
         const auto b = ReadBytes(d.file("f.flac"));
         WriteBytes(o, std::vector<std::uint8_t>(b.begin(), b.begin() + 42));
         return true;
     },
     "NDNNN", 'D'},
};

void PrintTo(const ClaimCase& c, std::ostream* os) {
    *os << c.name;
}

class ProbeOrder : public ::testing::TestWithParam<ClaimCase> {};

// Each decoder takes what it reads and passes on the rest; the search ends on the right one and
// says why when none opens.
TEST_P(ProbeOrder, EachDecoderClaimsOnlyWhatItReads) {
    const auto& c = GetParam();
    TempDir dir("claims");
    const auto path = dir.file("input");
    ASSERT_TRUE(c.make(dir, path)) << c.name;
    const auto table = audio::StreamProbeOrder();
    ASSERT_EQ(table.size(), std::strlen(c.claims));
    std::string got;
    for (const auto& entry : table) {
        got += Letter(entry.open(*ByteSource::File(path)));
    }
    EXPECT_EQ(got, c.claims) << c.name;
    EXPECT_EQ(Letter(audio::OpenStreamAt(path)), c.registry) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Decoders, ProbeOrder, ::testing::ValuesIn(kClaims),
                         ::tarvel::test::CaseName());

TEST(ProbeOrder, PathsThatAreNoReadableFileAreUnreadable) {
    TempDir dir("unreadable");
    std::filesystem::create_directory(dir.file("folder.wav"));
    for (const auto& p : {dir.file("folder.wav"), dir.file("absent.mp3")}) {
        EXPECT_EQ(Letter(audio::OpenStreamAt(p)), 'U') << p;
    }
}

}  // namespace
}  // namespace tarvel::test
