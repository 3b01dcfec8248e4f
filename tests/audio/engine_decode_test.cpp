// The decode side of the engine through the BASS_* operations: lengths, seeks, level readings,
// data reads, activity, the tempo stream's byte scale, and handles that are 0 or stale.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

using test::MakeRamp;
using test::Pcm;
using test::TempDir;

constexpr DWORD kTempoFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;

std::uint32_t Peak(std::int16_t s) {
    return static_cast<std::uint32_t>(s < 0 ? -s : s);
}

struct ShapeCase {
    std::uint32_t rate;
    std::uint32_t channels;
    std::size_t frames;
};

class DecodeShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(DecodeShapes, LengthInfoAndSecondsAreExactBytes) {
    const ShapeCase c = GetParam();
    TempDir dir("engine");
    const HSTREAM s = OpenWavStream(dir, MakeRamp(c.rate, c.channels, c.frames));
    ASSERT_NE(s, 0u);
    const QWORD bpf = c.channels * 2;
    EXPECT_EQ(BASS_ChannelGetLength(s), c.frames * bpf);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(s, &info));
    EXPECT_EQ(info.freq, c.rate);
    EXPECT_EQ(info.chans, c.channels);
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u);
    DWORD freq = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(s, &freq, nullptr, nullptr));
    EXPECT_EQ(freq, c.rate);
    // 20 ms rounds to the nearest whole frame.
    const QWORD frames20ms = (c.rate * 2 + 50) / 100;
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(s, 0.02f), frames20ms * bpf);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(s, 1.0f), c.rate * bpf);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(s, -1.0f), BASS_ERROR_QWORD);
    // Every sample comes out once, in order.
    const std::vector<std::int16_t> all = ReadAllData(s, 10241);
    EXPECT_EQ(all, MakeRamp(c.rate, c.channels, c.frames).samples);
    EXPECT_EQ(BASS_ChannelGetPosition(s), c.frames * bpf);
    BASS_StreamFree(s);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DecodeShapes,
                         ::testing::Values(ShapeCase{44100, 2, 44100}, ShapeCase{44100, 1, 12345},
                                           ShapeCase{22050, 2, 1001}, ShapeCase{48000, 1, 7}));

TEST(EngineDecode, TwentyMillisecondsAtCdRateIs3528Bytes) {
    const HSTREAM s = OpenPcmStream(MakeRamp(44100, 2, 100));
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(s, 0.02f), 3528u);
    BASS_StreamFree(s);
}

TEST(EngineDecode, SeekLandsOnTheFrameRoundedDownAndRefusesBeyondTheEnd) {
    const Pcm pcm = MakeRamp(44100, 2, 5000);
    const HSTREAM s = OpenPcmStream(pcm);
    ASSERT_NE(s, 0u);
    struct Seek {
        QWORD bytes;
        bool ok;
        std::size_t frame;
    };
    const Seek seeks[] = {{4000, true, 1000},
                          {4003, true, 1000},
                          {0, true, 0},
                          {19996, true, 4999},
                          {20000, true, 5000},
                          {20004, false, 5000},
                          {BASS_ERROR_QWORD, false, 5000}};
    for (const Seek& k : seeks) {
        SCOPED_TRACE(k.bytes);
        EXPECT_EQ(BASS_ChannelSetPosition(s, k.bytes) != 0, k.ok);
        EXPECT_EQ(BASS_ChannelGetPosition(s), k.frame * 4);
        std::int16_t frame[2] = {0, 0};
        const DWORD got = BASS_ChannelGetData(s, frame, sizeof frame);
        if (k.frame < pcm.frames()) {
            ASSERT_EQ(got, 4u);
            EXPECT_EQ(frame[0], pcm.samples[k.frame * 2]);
            EXPECT_EQ(frame[1], pcm.samples[k.frame * 2 + 1]);
            BASS_ChannelSetPosition(s, k.frame * 4);
        } else {
            EXPECT_EQ(got, BASS_ERROR_DWORD);
        }
    }
    BASS_StreamFree(s);
}

TEST(EngineDecode, DataReadsGiveWholeFramesOnly) {
    const HSTREAM s = OpenPcmStream(MakeRamp(44100, 2, 100));
    ASSERT_NE(s, 0u);
    std::vector<std::int16_t> buf(400);
    EXPECT_EQ(BASS_ChannelGetData(s, buf.data(), 3), 0u);
    EXPECT_EQ(BASS_ChannelGetData(s, buf.data(), 11), 8u);
    EXPECT_EQ(BASS_ChannelGetData(s, buf.data(), 800), 392u);  // what is left
    EXPECT_EQ(BASS_ChannelGetData(s, buf.data(), 800), BASS_ERROR_DWORD);
    EXPECT_EQ(BASS_ChannelGetData(s, nullptr, 800), BASS_ERROR_DWORD);
    BASS_StreamFree(s);
}

struct LevelCase {
    std::uint32_t channels;
    std::size_t frames;
};

class LevelSteps : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelSteps, EachReadingConsumesTwentyMillisecondsAndReportsItsPeaks) {
    const LevelCase c = GetParam();
    const Pcm pcm = test::MakeNoise(44100, c.channels, c.frames, 7, 0.8);
    const HSTREAM s = OpenPcmStream(pcm);
    ASSERT_NE(s, 0u);
    constexpr std::size_t kStep = 882;
    std::size_t at = 0;
    while (at < c.frames) {
        EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
        const DWORD level = BASS_ChannelGetLevel(s);
        const std::size_t end = std::min(at + kStep, c.frames);
        std::uint32_t left = 0;
        std::uint32_t right = 0;
        for (std::size_t f = at; f < end; ++f) {
            left = std::max(left, Peak(pcm.samples[f * c.channels]));
            right = std::max(right, Peak(pcm.samples[f * c.channels + c.channels - 1]));
        }
        ASSERT_EQ(level & 0xFFFF, left) << "at frame " << at;
        ASSERT_EQ(level >> 16, right) << "at frame " << at;
        at = end;
        EXPECT_EQ(BASS_ChannelGetPosition(s), at * c.channels * 2);
    }
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetLevel(s), BASS_ERROR_DWORD);
    BASS_StreamFree(s);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelSteps,
                         ::testing::Values(LevelCase{2, 882 * 10}, LevelCase{2, 882 * 3 + 100},
                                           LevelCase{1, 882 * 4 + 1}));

TEST(EngineDecode, FullScaleNegativePeakReads32768) {
    Pcm pcm{44100, 2, std::vector<std::int16_t>(882 * 2, 0)};
    pcm.samples[10] = -32768;
    pcm.samples[21] = 32767;
    const HSTREAM s = OpenPcmStream(pcm);
    EXPECT_EQ(BASS_ChannelGetLevel(s), (32767u << 16) | 32768u);
    BASS_StreamFree(s);
}

TEST(EngineDecode, MemoryWavWithZeroSizeFieldsRunsToTheEndOfTheBlock) {
    const Pcm pcm = MakeRamp(44100, 2, 3000);
    const std::vector<std::uint8_t> image = test::EncodeWav(pcm, {.zeroSizes = true});
    const HSTREAM s = BASS_StreamCreateFile(1, image.data(), 0, static_cast<DWORD>(image.size()),
                                            BASS_STREAM_DECODE);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(s), 3000u * 4);
    EXPECT_EQ(ReadAllData(s), pcm.samples);
    BASS_StreamFree(s);
    EXPECT_EQ(BASS_StreamCreateFile(1, image.data(), 0, 0, BASS_STREAM_DECODE), 0u);
}

TEST(EngineDecode, UndecodableFilesGiveNoChannel) {
    TempDir dir("engine");
    test::WriteBytes(dir.file("junk.wav"), test::RandomBytes(5000, 3));
    EXPECT_EQ(BASS_StreamCreateFile(0, dir.file("junk.wav").c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(0, dir.file("missing.wav").c_str(), 0, 0, BASS_STREAM_DECODE),
              0u);
    EXPECT_EQ(BASS_StreamCreateFile(0, nullptr, 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_MusicLoad(0, dir.file("junk.wav").c_str(), 0, 0, 0x220200, 0), 0u);
}

TEST(EngineDecode, EachFreeReleasesOnlyItsOwnKind) {
    TempDir dir("engine");
    test::WriteBytes(dir.file("m.mod"), test::EncodeMod());
    const HMUSIC music = BASS_MusicLoad(0, dir.file("m.mod").c_str(), 0, 0, 0x220200, 0);
    ASSERT_NE(music, 0u);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(music, &info));
    EXPECT_EQ(info.freq, 44100u);  // rate 0 means the engine's rate
    const HSTREAM stream = OpenPcmStream(MakeRamp(44100, 2, 10));
    EXPECT_FALSE(BASS_StreamFree(music));
    EXPECT_FALSE(BASS_MusicFree(stream));
    EXPECT_NE(BASS_ChannelGetLength(music), BASS_ERROR_QWORD);
    EXPECT_NE(BASS_ChannelGetLength(stream), BASS_ERROR_QWORD);
    EXPECT_TRUE(BASS_MusicFree(music));
    EXPECT_TRUE(BASS_StreamFree(stream));
    EXPECT_FALSE(BASS_MusicFree(music));
    EXPECT_FALSE(BASS_StreamFree(stream));
}

// ---- tempo stream ----

TEST(EngineTempo, AtFourTimesSpeedTheEndReportsTheSourceLength) {
    const Pcm pcm = test::MakeSine(44100, 2, 44100 * 10, 440.0);
    // Without the loop flag, so that the stream ends rather than wrapping.
    const HSTREAM tempo =
        BASS_FX_TempoCreate(OpenPcmStream(pcm), BASS_FX_FREESOURCE | BASS_STREAM_DECODE);
    ASSERT_NE(tempo, 0u);
    EXPECT_TRUE(BASS_FX_TempoSet(tempo, 300.0f, 44100.0f, 0.0f));
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, 32);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, 20);
    EXPECT_EQ(BASS_ChannelGetLength(tempo), pcm.bytes());
    QWORD last = 0;
    std::size_t out = 0;
    std::vector<std::int16_t> buf(4096);
    for (;;) {
        const DWORD got = BASS_ChannelGetData(tempo, buf.data(), 8192);
        if (got == BASS_ERROR_DWORD) {
            break;
        }
        out += got / 4;
        const QWORD pos = BASS_ChannelGetPosition(tempo);
        ASSERT_GE(pos, last);  // positions only move forward while reading on
        last = pos;
    }
    EXPECT_EQ(BASS_ChannelGetPosition(tempo), pcm.bytes());
    EXPECT_EQ(BASS_ChannelIsActive(tempo), BASS_ACTIVE_STOPPED);
    const auto quarter = static_cast<double>(pcm.frames()) / 4.0;
    EXPECT_NEAR(static_cast<double>(out), quarter, quarter * 0.01);
    BASS_StreamFree(tempo);
}

TEST(EngineTempo, NormalTempoIsBitExactAndSeeksTakeSourceBytes) {
    const Pcm pcm = MakeRamp(44100, 2, 20000);
    const HSTREAM tempo = BASS_FX_TempoCreate(OpenPcmStream(pcm), kTempoFlags | BASS_STREAM_DECODE);
    ASSERT_NE(tempo, 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(tempo, 4000 * 4));
    EXPECT_EQ(BASS_ChannelGetPosition(tempo), 4000u * 4);
    std::vector<std::int16_t> buf(2000);
    ASSERT_EQ(BASS_ChannelGetData(tempo, buf.data(), 4000), 4000u);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), pcm.samples.begin() + 8000));
    EXPECT_EQ(BASS_ChannelGetPosition(tempo), 5000u * 4);
    EXPECT_FALSE(BASS_ChannelSetPosition(tempo, 20001 * 4));
    BASS_StreamFree(tempo);
}

TEST(EngineTempo, SourceIsOwnedWhileWrappedAndFreedWithTheStream) {
    const HSTREAM src = OpenPcmStream(MakeRamp(44100, 2, 1000));
    const HSTREAM tempo = BASS_FX_TempoCreate(src, kTempoFlags);
    ASSERT_NE(tempo, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(src), BASS_ERROR_QWORD);
    EXPECT_FALSE(BASS_StreamFree(src));
    EXPECT_EQ(BASS_FX_TempoCreate(src, kTempoFlags), 0u);  // already owned
    EXPECT_TRUE(BASS_StreamFree(tempo));
    EXPECT_EQ(BASS_ChannelGetLength(src), BASS_ERROR_QWORD);
    EXPECT_FALSE(BASS_StreamFree(src));  // went with the stream
}

TEST(EngineTempo, WithoutFreeSourceTheSourceComesBack) {
    const HSTREAM src = OpenPcmStream(MakeRamp(44100, 2, 1000));
    const HSTREAM tempo = BASS_FX_TempoCreate(src, BASS_SAMPLE_LOOP);
    ASSERT_NE(tempo, 0u);
    EXPECT_TRUE(BASS_StreamFree(tempo));
    EXPECT_EQ(BASS_ChannelGetLength(src), 4000u);
    EXPECT_TRUE(BASS_StreamFree(src));
}

TEST(EngineTempo, FailedCreationLeavesTheSourceOpen) {
    const HSTREAM playable = OpenPcmStream(MakeRamp(44100, 2, 1000), 0);
    ASSERT_NE(playable, 0u);
    EXPECT_EQ(BASS_FX_TempoCreate(playable, kTempoFlags), 0u);  // not decode-only
    EXPECT_EQ(BASS_ChannelGetLength(playable), 4000u);
    EXPECT_TRUE(BASS_StreamFree(playable));
    EXPECT_EQ(BASS_FX_TempoCreate(0, kTempoFlags), 0u);
}

TEST(EngineTempo, RejectsTemposAndOptionsOutOfRange) {
    const HSTREAM tempo = BASS_FX_TempoCreate(OpenPcmStream(MakeRamp(44100, 2, 1000)), kTempoFlags);
    ASSERT_NE(tempo, 0u);
    EXPECT_TRUE(BASS_FX_TempoSet(tempo, -50.0f, 44100.0f, 0.0f));
    EXPECT_TRUE(BASS_FX_TempoSet(tempo, 300.0f, 44100.0f, 0.0f));
    EXPECT_FALSE(BASS_FX_TempoSet(tempo, -100.0f, 44100.0f, 0.0f));
    EXPECT_FALSE(BASS_FX_TempoSet(tempo, 1e9f, 44100.0f, 0.0f));
    EXPECT_TRUE(BASS_FX_TempoSetOption(tempo, 3, 32));
    EXPECT_TRUE(BASS_FX_TempoSetOption(tempo, 4, 20));
    EXPECT_FALSE(BASS_FX_TempoSetOption(tempo, 4, 0x7FFFFFFF));
    EXPECT_FALSE(BASS_FX_TempoSetOption(tempo, 99, 1));
    const HSTREAM plain = OpenPcmStream(MakeRamp(44100, 2, 10));
    EXPECT_FALSE(BASS_FX_TempoSet(plain, 10.0f, 44100.0f, 0.0f));  // not a tempo stream
    EXPECT_FALSE(BASS_FX_TempoSetOption(plain, 3, 32));
    BASS_StreamFree(plain);
    BASS_StreamFree(tempo);
}

// ---- syncs on decode-only channels fire on the reading thread ----

struct SyncLog {
    std::vector<QWORD> positions;
    HSTREAM seekTo = 0;
    QWORD seekBytes = 0;
};

void RecordSync(HSYNC, DWORD channel, DWORD, void* user) {
    auto* log = static_cast<SyncLog*>(user);
    log->positions.push_back(BASS_ChannelGetPosition(channel));
    if (log->seekTo == channel) {
        BASS_ChannelSetPosition(channel, log->seekBytes);
    }
}

TEST(EngineSyncs, DecodeOnlyPositionSyncSplitsTheReadAtItsFrame) {
    const Pcm pcm = MakeRamp(44100, 2, 10000);
    const HSTREAM tempo = BASS_FX_TempoCreate(OpenPcmStream(pcm), kTempoFlags | BASS_STREAM_DECODE);
    SyncLog log;
    log.seekTo = tempo;
    log.seekBytes = 1000 * 4;
    const HSYNC sync =
        BASS_ChannelSetSync(tempo, BASS_SYNC_POS | BASS_SYNC_MIXTIME, 3000 * 4, &RecordSync, &log);
    ASSERT_NE(sync, 0u);
    std::vector<std::int16_t> buf(2 * 2500);
    ASSERT_EQ(BASS_ChannelGetData(tempo, buf.data(), 2500 * 4), 2500u * 4);
    EXPECT_TRUE(log.positions.empty());
    ASSERT_EQ(BASS_ChannelGetData(tempo, buf.data(), 2400 * 4), 2400u * 4);
    ASSERT_EQ(log.positions.size(), 1u);
    EXPECT_EQ(log.positions[0], 3000u * 4);
    // 500 frames up to the sync, then on from frame 1000 without a gap.
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 1000, pcm.samples.begin() + 5000));
    EXPECT_TRUE(std::equal(buf.begin() + 1000, buf.begin() + 4800, pcm.samples.begin() + 2000));
    EXPECT_EQ(BASS_ChannelGetPosition(tempo), 2900u * 4);
    // Reaching the position again fires again.
    ASSERT_EQ(BASS_ChannelGetData(tempo, buf.data(), 100 * 4), 100u * 4);
    EXPECT_EQ(log.positions.size(), 2u);
    EXPECT_TRUE(BASS_ChannelRemoveSync(tempo, sync));
    EXPECT_FALSE(BASS_ChannelRemoveSync(tempo, sync));
    BASS_StreamFree(tempo);
}

TEST(EngineSyncs, EndSyncFiresOnceAtTheEndOfTheSource) {
    const HSTREAM s = OpenPcmStream(MakeRamp(44100, 2, 3000));
    SyncLog log;
    ASSERT_NE(BASS_ChannelSetSync(s, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &RecordSync, &log), 0u);
    ReadAllData(s);
    ReadAllData(s);
    ASSERT_EQ(log.positions.size(), 1u);
    EXPECT_EQ(log.positions[0], 3000u * 4);
    BASS_StreamFree(s);
}

// ---- handles that are 0 or stale ----

void NeverCalled(HSYNC, DWORD, DWORD, void*) {
    ADD_FAILURE() << "sync on a dead handle ran";
}

TEST(EngineHandles, EveryOperationFailsHarmlesslyOnZeroAndStaleHandles) {
    const HSTREAM stale = OpenPcmStream(MakeRamp(44100, 2, 100));
    const HSTREAM staleTempo =
        BASS_FX_TempoCreate(OpenPcmStream(MakeRamp(44100, 2, 100)), kTempoFlags);
    ASSERT_TRUE(BASS_StreamFree(stale));
    ASSERT_TRUE(BASS_StreamFree(staleTempo));
    // A live channel reusing the freed slot must not answer to the stale handles.
    const HSTREAM live = OpenPcmStream(MakeRamp(44100, 2, 100));
    for (const DWORD h : {DWORD{0}, stale, staleTempo, DWORD{0xFFFFFFFF}, live + 1}) {
        SCOPED_TRACE(h);
        BASS_CHANNELINFO info{};
        DWORD freq = 7;
        std::int16_t buf[8];
        EXPECT_FALSE(BASS_ChannelGetInfo(h, &info));
        EXPECT_FALSE(BASS_ChannelGetAttributes(h, &freq, nullptr, nullptr));
        EXPECT_EQ(freq, 7u);
        EXPECT_FALSE(BASS_ChannelSetAttributes(h, -1, 50, -101));
        EXPECT_EQ(BASS_ChannelGetLength(h), BASS_ERROR_QWORD);
        EXPECT_EQ(BASS_ChannelGetPosition(h), BASS_ERROR_QWORD);
        EXPECT_FALSE(BASS_ChannelSetPosition(h, 0));
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 0.02f), BASS_ERROR_QWORD);
        EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
        EXPECT_FALSE(BASS_ChannelPlay(h, 0));
        EXPECT_FALSE(BASS_ChannelStop(h));
        EXPECT_EQ(BASS_ChannelGetLevel(h), BASS_ERROR_DWORD);
        EXPECT_EQ(BASS_ChannelGetData(h, buf, sizeof buf), BASS_ERROR_DWORD);
        EXPECT_EQ(
            BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &NeverCalled, nullptr),
            0u);
        EXPECT_FALSE(BASS_ChannelRemoveSync(h, 1));
        EXPECT_EQ(BASS_FX_TempoCreate(h, kTempoFlags), 0u);
        EXPECT_FALSE(BASS_FX_TempoSet(h, 0.0f, 44100.0f, 0.0f));
        EXPECT_FALSE(BASS_FX_TempoSetOption(h, 3, 32));
        EXPECT_FALSE(BASS_StreamFree(h));
        EXPECT_FALSE(BASS_MusicFree(h));
    }
    EXPECT_EQ(BASS_ChannelGetLength(live), 400u);
    BASS_StreamFree(live);
}

TEST(EngineHandles, StaleSyncHandlesAndForeignSyncsAreRefused) {
    const HSTREAM a = OpenPcmStream(MakeRamp(44100, 2, 100));
    const HSTREAM b = OpenPcmStream(MakeRamp(44100, 2, 100));
    const HSYNC sa =
        BASS_ChannelSetSync(a, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &NeverCalled, nullptr);
    ASSERT_NE(sa, 0u);
    EXPECT_FALSE(BASS_ChannelRemoveSync(b, sa));  // not b's
    EXPECT_TRUE(BASS_ChannelRemoveSync(a, sa));
    EXPECT_FALSE(BASS_ChannelRemoveSync(a, sa));
    EXPECT_EQ(BASS_ChannelSetSync(a, 7, 0, &NeverCalled, nullptr), 0u);  // unknown type
    EXPECT_EQ(BASS_ChannelSetSync(a, BASS_SYNC_END, 0, nullptr, nullptr), 0u);
    ReadAllData(a);
    BASS_StreamFree(a);
    BASS_StreamFree(b);
}

}  // namespace
}  // namespace tarvel::engine_test
