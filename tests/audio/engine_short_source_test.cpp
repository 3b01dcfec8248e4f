// Sources that end before the length they gave at open (a file that shrank under its reader, a
// decoder whose estimate was wrong) behave as sources of the length they delivered: the end
// syncs and a mark set at the promised end run at the real end, repeat play loops, single play
// stops, and the length reported afterwards is the delivered one. Also: level readings always
// move on, and files whose header promises audio they do not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/Engine.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using test::Pcm;
using test::TempDir;

constexpr DWORD kRate = 44100;
constexpr DWORD kLoadFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;
constexpr std::size_t kFrames = 20000;    // what the source says at open
constexpr std::size_t kDelivered = 8000;  // what it then gives
// Playback fades in at a start and crossfades at a seam over at most this many frames.
constexpr std::size_t kFadeFrames = kRate / 100;
constexpr std::size_t kWavHeaderBytes = 44;

// A decode-only stream that claims kFrames and delivers the first kDelivered frames of `pcm`.
using ShortMaker = std::function<HSTREAM(const TempDir& dir, const Pcm& pcm)>;

struct ShortCase {
    const char* name;
    ShortMaker make;
};

const ShortCase kShortCases[] = {
    {"decoder_estimate",
     [](const TempDir&, const Pcm& pcm) {
         Pcm part = pcm;
         part.samples.resize(kDelivered * pcm.channels);
         return audio::CreateStream(MakeShortDecoder(part, pcm.frames()), BASS_STREAM_DECODE,
                                    audio::ChannelKind::Stream);
     }},
    {"wav_shrunk_while_open",
     [](const TempDir& dir, const Pcm& pcm) {
         const HSTREAM s = OpenWavStream(dir, pcm);
         const auto path = dir.file("a.wav");
         EXPECT_EQ(std::filesystem::file_size(path), kWavHeaderBytes + pcm.bytes());
         std::filesystem::resize_file(path, kWavHeaderBytes + kDelivered * pcm.channels * 2);
         return s;
     }},
};

void PrintTo(const ShortCase& c, std::ostream* os) {
    *os << c.name;
}

struct SyncLog {
    std::vector<QWORD> positions;  // where each callback found the channel
    QWORD seekTo = 0;              // repeat play: where a callback sends the channel
    int repeats = 0;               // callbacks that seek; the next one stops
};

void LoopLikeThePlayer(HSYNC, DWORD channel, DWORD, void* user) {
    auto* log = static_cast<SyncLog*>(user);
    log->positions.push_back(BASS_ChannelGetPosition(channel));
    if (static_cast<int>(log->positions.size()) <= log->repeats) {
        if (!BASS_ChannelSetPosition(channel, log->seekTo)) {
            BASS_ChannelSetPosition(channel, 0);
        }
    } else {
        BASS_ChannelStop(channel);
    }
}

void Record(HSYNC, DWORD channel, DWORD, void* user) {
    static_cast<SyncLog*>(user)->positions.push_back(BASS_ChannelGetPosition(channel));
}

class ShortSource : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ShortSource, DecodeOnlyReadsEndAndSyncAtTheDeliveredEnd) {
    TempDir dir("short");
    const Pcm pcm = test::MakeRamp(kRate, 2, kFrames);
    const HSTREAM s = GetParam().make(dir, pcm);
    ASSERT_NE(s, 0u);
    const QWORD bpf = 4;
    ASSERT_EQ(BASS_ChannelGetLength(s), kFrames * bpf);  // believed until the end is met
    SyncLog mark;
    SyncLog end;
    // The mark the player sets at the end of what the length promised, and an end sync.
    ASSERT_NE(
        BASS_ChannelSetSync(s, BASS_SYNC_POS | BASS_SYNC_MIXTIME, kFrames * bpf, &Record, &mark),
        0u);
    ASSERT_NE(BASS_ChannelSetSync(s, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &Record, &end), 0u);
    const auto all = ReadAllData(s, 3000);
    ASSERT_EQ(all.size(), kDelivered * 2);
    EXPECT_TRUE(std::equal(all.begin(), all.end(), pcm.samples.begin()));
    EXPECT_EQ(mark.positions, std::vector<QWORD>{kDelivered * bpf});
    EXPECT_EQ(end.positions, std::vector<QWORD>{kDelivered * bpf});
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    // From now on the source is what it delivered.
    EXPECT_EQ(BASS_ChannelGetLength(s), kDelivered * bpf);
    EXPECT_FALSE(BASS_ChannelSetPosition(s, (kDelivered + 1) * bpf));
    EXPECT_EQ(BASS_ChannelGetPosition(s), kDelivered * bpf);
    ASSERT_TRUE(BASS_ChannelSetPosition(s, kDelivered / 2 * bpf));
    const auto rest = ReadAllData(s);
    EXPECT_EQ(rest.size(), kDelivered / 2 * 2);
    EXPECT_EQ(mark.positions.size(), 2u);
    EXPECT_EQ(end.positions.size(), 2u);
    BASS_StreamFree(s);
}

TEST_P(ShortSource, LevelReadingsEndAtTheDeliveredEnd) {
    TempDir dir("shortlevel");
    const Pcm pcm = test::MakeRamp(kRate, 2, kFrames);
    const HSTREAM s = GetParam().make(dir, pcm);
    ASSERT_NE(s, 0u);
    int readings = 0;
    while (BASS_ChannelIsActive(s) == BASS_ACTIVE_PLAYING && readings < 1000) {
        BASS_ChannelGetLevel(s);
        ++readings;
    }
    EXPECT_EQ(readings, static_cast<int>((kDelivered + 881) / 882));
    EXPECT_EQ(BASS_ChannelGetLength(s), kDelivered * 4);
    BASS_StreamFree(s);
}

class ShortPlayback : public ShortSource {
  protected:
    void SetUp() override { ASSERT_TRUE(audio::InitCapture(kRate)); }
    void TearDown() override { BASS_Free(); }

    // Loads as the player does: a tempo stream around the source, looping, at normal speed.
    static HSTREAM Load(HSTREAM source) { return PlayerTempo(source, kLoadFlags); }

    // Renders until the channel stops or `frames` have come out; the left side.
    static std::vector<std::int16_t> Render(HSTREAM h, std::size_t frames) {
        return RenderLeftWhilePlaying(h, frames, 100, false);
    }
};

// Both kinds of sync the player sets: the end sync at load, and the mark at the promised end
// after the marks have been touched.
struct SyncKind {
    DWORD type;
    QWORD param;
};
const SyncKind kSyncKinds[] = {{BASS_SYNC_END | BASS_SYNC_MIXTIME, 0},
                               {BASS_SYNC_POS | BASS_SYNC_MIXTIME, kFrames * 4}};

TEST_P(ShortPlayback, RepeatPlayLoopsAtTheDeliveredEnd) {
    for (const SyncKind& kind : kSyncKinds) {
        TempDir dir("shortrepeat");
        const Pcm pcm = test::MakeRamp(kRate, 2, kFrames);
        const HSTREAM h = Load(GetParam().make(dir, pcm));
        ASSERT_NE(h, 0u);
        SyncLog loop;
        constexpr std::size_t kStart = 3000;
        loop.seekTo = kStart * 4;
        loop.repeats = 1000;
        ASSERT_NE(BASS_ChannelSetSync(h, kind.type, kind.param, &LoopLikeThePlayer, &loop), 0u);
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
        const std::size_t pass = kDelivered - kStart;
        const auto out = Render(h, kDelivered + 2 * pass + 500);
        ASSERT_EQ(out.size(), kDelivered + 2 * pass + 500) << "playback stopped";
        // The whole source, then from the start mark to the real end, over and over, no gap.
        // The start fades in and each seam crossfades from what follows the end: both are
        // checked for the right timing by the fade tests, here they are left out.
        for (std::size_t i = kFadeFrames; i < out.size(); ++i) {
            const bool seam = i >= kDelivered && (i - kDelivered) % pass < kFadeFrames;
            if (seam) {
                continue;
            }
            const std::size_t f = i < kDelivered ? i : kStart + (i - kDelivered) % pass;
            ASSERT_EQ(out[i], pcm.samples[f * 2]) << "output frame " << i << ", sync " << kind.type;
        }
        ASSERT_GE(loop.positions.size(), 3u);
        EXPECT_EQ(BASS_ChannelGetLength(h), kDelivered * 4);
        BASS_StreamFree(h);
    }
}

TEST_P(ShortPlayback, SinglePlayStopsAtTheDeliveredEnd) {
    for (const SyncKind& kind : kSyncKinds) {
        TempDir dir("shortsingle");
        const Pcm pcm = test::MakeRamp(kRate, 2, kFrames);
        const HSTREAM h = Load(GetParam().make(dir, pcm));
        ASSERT_NE(h, 0u);
        SyncLog stop;  // no repeats: the first callback stops
        ASSERT_NE(BASS_ChannelSetSync(h, kind.type, kind.param, &LoopLikeThePlayer, &stop), 0u);
        ASSERT_TRUE(BASS_ChannelPlay(h, 0));
        const auto out = Render(h, kFrames * 2);
        EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED) << "sync " << kind.type;
        EXPECT_EQ(stop.positions.size(), 1u);
        EXPECT_EQ(BASS_ChannelGetPosition(h), kDelivered * 4);
        EXPECT_EQ(BASS_ChannelGetLength(h), kDelivered * 4);
        ASSERT_GE(out.size(), kDelivered);
        // After the start's fade-in and before the end's fade-out.
        for (std::size_t i = kFadeFrames; i < kDelivered - kEndFadeFrames; ++i) {
            ASSERT_EQ(out[i], pcm.samples[i * 2]) << i;
        }
        EXPECT_TRUE(std::all_of(out.begin() + kDelivered, out.end(),
                                [](std::int16_t v) { return v == 0; }));
        BASS_StreamFree(h);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, ShortSource, ::testing::ValuesIn(kShortCases),
                         ::tarvel::test::CaseName());
INSTANTIATE_TEST_SUITE_P(Sources, ShortPlayback, ::testing::ValuesIn(kShortCases),
                         ::tarvel::test::CaseName());

// Below 25 Hz, 20 ms rounds to no frame at all; a reading still moves on by one, so that a scan
// reading a source to its end gets there.
TEST(LevelReadings, AlwaysMoveOnAtAnyRate) {
    for (const std::uint32_t rate : {1u, 20u, 24u, 25u, 49u, 1000u}) {
        const std::size_t frames = 60;
        const HSTREAM s = OpenPcmStream(test::MakeRamp(rate, 1, frames));
        ASSERT_NE(s, 0u) << rate;
        QWORD last = 0;
        std::size_t readings = 0;
        while (BASS_ChannelIsActive(s) == BASS_ACTIVE_PLAYING && readings <= frames) {
            ASSERT_NE(BASS_ChannelGetLevel(s), BASS_ERROR_DWORD) << rate;
            const QWORD at = BASS_ChannelGetPosition(s);
            ASSERT_GT(at, last) << rate;
            last = at;
            ++readings;
        }
        EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED) << rate;
        EXPECT_EQ(last, frames * 2) << rate;
        BASS_StreamFree(s);
    }
}

// A FLAC file cut to its stream header promises seconds and holds no frame; an MP3 whose second
// half is at another rate promises both halves. Neither promises what it cannot play.
TEST(PromisedAudio, FlacCutToItsHeaderOpensNeitherWay) {
    TempDir dir("flachead");
    test::WriteWav(dir.file("in.wav"), test::MakeNoise(kRate, 2, kRate * 5, 2));
    ASSERT_TRUE(test::EncodeFlac(dir.file("in.wav"), dir.file("a.flac")));
    const auto bytes = test::ReadBytes(dir.file("a.flac"));
    test::WriteBytes(dir.file("head.flac"),
                     std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 42));
    const auto path = dir.file("head.flac");
    EXPECT_EQ(BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_MusicLoad(0, path.c_str(), 0, 0,
                             BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP, 0),
              0u);
}

TEST(PromisedAudio, MpegChangingRateMidwayIsItsFirstPartEndToEnd) {
    TempDir dir("ratechange");
    const Pcm high = test::MakeSine(kRate, 2, kRate * 2, 440.0);
    const Pcm low = test::MakeSine(22050, 2, 22050 * 6, 660.0);
    test::WriteWav(dir.file("h.wav"), high);
    test::WriteWav(dir.file("l.wav"), low);
    ASSERT_TRUE(test::RunTool(
        {"lame", "--quiet", "-b", "128", dir.file("h.wav").string(), dir.file("h.mp3").string()},
        dir.file("h.mp3")));
    ASSERT_TRUE(test::RunTool(
        {"lame", "--quiet", "-b", "64", dir.file("l.wav").string(), dir.file("l.mp3").string()},
        dir.file("l.mp3")));
    auto joined = test::ReadBytes(dir.file("h.mp3"));
    const auto tail = test::ReadBytes(dir.file("l.mp3"));
    joined.insert(joined.end(), tail.begin(), tail.end());
    test::WriteBytes(dir.file("j.mp3"), joined);

    const auto path = dir.file("j.mp3");
    const HSTREAM h =
        BASS_FX_TempoCreate(BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE),
                            kLoadFlags | BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    const QWORD length = BASS_ChannelGetLength(h);
    EXPECT_EQ(length, high.frames() * 4);
    SyncLog end;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &Record, &end), 0u);
    // Read once through (the looping stream wraps at the end: stop after one length).
    std::vector<std::int16_t> buf(4096);
    QWORD read = 0;
    while (read < length) {
        const DWORD got = BASS_ChannelGetData(
            h, buf.data(), static_cast<DWORD>(std::min<QWORD>(length - read, buf.size() * 2)));
        ASSERT_NE(got, BASS_ERROR_DWORD);
        ASSERT_GT(got, 0u);
        read += got;
    }
    BASS_ChannelGetData(h, buf.data(), 4);
    EXPECT_EQ(end.positions.size(), 1u);
    EXPECT_EQ(BASS_ChannelGetLength(h), length);
    BASS_StreamFree(h);
}

}  // namespace
}  // namespace tarvel::engine_test
