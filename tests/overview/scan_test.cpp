// The scan's arithmetic on scripted sources: the column width, the grouping of readings into
// columns, the normalisation and the CD image.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "overview/CdWaveImage.h"
#include "overview/ScanController.h"
#include "overview/ScanWaveform.h"
#include "player/LoopSync.h"
#include "tests/overview/FakeAudio.h"
#include "tests/overview/ScanTestSupport.h"

namespace tarvel::overview {
namespace {

using testing::FakeAudio;
using testing::FakeKind;
using testing::FakeSource;
using testing::kReadingBytes;
using testing::Level;
using testing::WaitForScanEnd;

constexpr int kWidth = 712;
constexpr QWORD kOneMinute = 10584000;  // 60 s of 44.1 kHz 16-bit stereo

FakeSource Source(QWORD length, std::function<DWORD(std::uint64_t)> level = nullptr) {
    FakeSource s;
    s.length = length;
    if (level) {
        s.level = std::move(level);
    }
    return s;
}

// Loads `source` as file "a.wav" the way a load leaves the session, and scans it to the end.
void LoadAndScan(FakeAudio& audio, PlayerSession& session, const FakeSource& source,
                 int width = kWidth) {
    audio.AddFile("a.wav", source);
    session.CurrentFileName = "a.wav";
    session.PlayChannel = audio.MakePlayChannel(source);
    ScanController scan(session, audio);
    scan.Timer2Timer(width);
    ASSERT_TRUE(WaitForScanEnd(session));
}

struct WidthCase {
    const char* name;
    QWORD length;
    DWORD freq;
    DWORD chans;
    bool loaded;
    int width;
    QWORD expected;
};

TEST(ScanBytesPerPixel, FromLengthWidthAndTheTwentyMillisecondFloor) {
    const WidthCase cases[] = {
        {"one minute", kOneMinute, 44100, 2, true, kWidth, 14865},
        {"short source gets 20 ms", 176400, 44100, 2, true, kWidth, 3528},
        {"mono 22 kHz floor", 1000, 22050, 1, true, kWidth, 882},
        {"exactly the floor", 3528 * 712, 44100, 2, true, kWidth, 3528},
        {"above 2 GiB", 3000000000ull, 44100, 2, true, kWidth, 4213483},
        {"8 h 10 min 40 s", 5193216000ull, 44100, 2, true, kWidth, 7293842},
        {"5 GiB", 5368920984ull, 44100, 2, true, kWidth, 7540619},
        {"nothing loaded", 0, 44100, 2, false, kWidth, 0},
        {"no width", kOneMinute, 44100, 2, true, 0, 3528},
    };
    for (const WidthCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAudio audio;
        PlayerSession session;
        FakeSource s = Source(c.length);
        s.freq = c.freq;
        s.chans = c.chans;
        audio.AddFile("a.wav", s);
        session.CurrentFileName = "a.wav";
        session.PlayChannel = c.loaded ? audio.MakePlayChannel(s) : 0;
        ScanController scan(session, audio);
        scan.Timer2Timer(c.width);
        EXPECT_EQ(session.BytesPerPixel.load(), c.expected);
        ASSERT_TRUE(WaitForScanEnd(session));
    }
}

// The window's debounce: every resize restarts Timer2; only its firing prepares a scan.
TEST(ScanDebounce, ResizesWithin100msStartOneScan) {
    FakeAudio audio;
    PlayerSession session;
    FakeSource s = Source(kOneMinute);
    audio.AddFile("a.wav", s);
    session.CurrentFileName = "a.wav";
    session.PlayChannel = audio.MakePlayChannel(s);
    ScanController scan(session, audio);
    QTimer Timer2;
    Timer2.setSingleShot(true);
    Timer2.setInterval(100);
    QObject::connect(&Timer2, &QTimer::timeout, [&] {
        Timer2.stop();
        scan.Timer2Timer(kWidth);
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i) {
        Timer2.stop();  // FormResize
        Timer2.start();
        QTest::qWait(10);
    }
    if (clock.elapsed() >= 100 || audio.scanOpens.load() != 0) {
        GTEST_SKIP() << "the machine was too slow to resize five times within 100 ms";
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return audio.scanOpens.load() > 0; }, 5000));
    QTest::qWait(250);
    EXPECT_EQ(audio.scanOpens.load(), 1);
    EXPECT_TRUE(WaitForScanEnd(session));
}

// Readings of a source two readings per column wide, with the positions after each reading.
TEST(ScanEnvelope, KthChangeOfColumnStoresAtIndexKNormalisedByTheLoudestReading) {
    const std::array<DWORD, 7> readings = {
        Level(1000, 2000), Level(3000, 4000),  // column 0 -> index 1: 2000, 3000
        Level(30000, 0),   Level(0, 0),        // column 1 -> index 2: 15000, 0
        BASS_ERROR_DWORD,  Level(100, 300),    // column 2 -> index 3: 50, 150 (error is silence)
        Level(500, 700),                       // end of source -> index 4
    };
    FakeAudio audio;
    PlayerSession session;
    FakeSource s = Source(7 * kReadingBytes, [&](std::uint64_t i) { return readings.at(i); });
    audio.AddFile("a.wav", s);
    const DWORD c = audio.StreamCreateFile(0, "a.wav", 0, 0, BASS_STREAM_DECODE);

    const ScanOutput out = ScanEnvelope(audio, session, 2 * kReadingBytes, c, 5, {});
    ASSERT_TRUE(out.finished);
    // value x 30474.24 / 30000 (the loudest single reading, not the loudest column), truncated.
    const std::vector<std::uint16_t> left = {0, 2031, 15237, 50, 507};
    const std::vector<std::uint16_t> right = {0, 3047, 0, 152, 711};
    EXPECT_EQ(out.left, left);
    EXPECT_EQ(out.right, right);
    EXPECT_EQ(session.ScanTotal.load(), 7 * kReadingBytes);
    EXPECT_EQ(session.ScanDone.load(), 6 * kReadingBytes);  // the last active position
}

TEST(ScanEnvelope, ReadingsThatSkipColumnsAdvanceTheIndexByOne) {
    FakeAudio audio;
    PlayerSession session;
    const std::array<DWORD, 4> readings = {Level(8000, 8000), Level(16000, 16000),
                                           Level(32000, 32000), Level(4000, 4000)};
    FakeSource s = Source(4 * kReadingBytes, [&](std::uint64_t i) { return readings.at(i); });
    audio.AddFile("a.wav", s);
    const DWORD c = audio.StreamCreateFile(0, "a.wav", 0, 0, BASS_STREAM_DECODE);
    // Each reading moves two columns: columns 2, 4, 6 -> indexes 1, 2, 3; column 6 ends it.
    const ScanOutput out = ScanEnvelope(audio, session, kReadingBytes / 2, c, 5, {});
    const std::vector<std::uint16_t> expected = {0, 7618, 15237, 30474, 0};
    EXPECT_EQ(out.left, expected);
    EXPECT_EQ(out.right, expected);
    EXPECT_EQ(audio.levelReads.load(), 3);
}

// A source of more than 4 GiB: the columns keep advancing past the 4 GiB point, so the whole
// overview fills, and the progress counts reach the real length.
TEST(ScanEnvelope, SourceBeyondFourGiBFillsEveryColumn) {
    constexpr QWORD kLength = 5368920984ull;  // 30436.06 s of 44.1 kHz stereo
    constexpr int kColumns = 712;
    FakeAudio audio;
    PlayerSession session;
    audio.AddFile("a.wav", Source(kLength, [](std::uint64_t) { return Level(10000, 20000); }));
    const DWORD c = audio.StreamCreateFile(0, "a.wav", 0, 0, BASS_STREAM_DECODE);

    const ScanOutput out = ScanEnvelope(audio, session, kLength / kColumns, c, kColumns, {});
    ASSERT_TRUE(out.finished);
    EXPECT_EQ(out.left[0], 0);
    EXPECT_EQ(std::count(out.left.begin() + 1, out.left.end(), 15237), kColumns - 1);
    EXPECT_EQ(std::count(out.right.begin() + 1, out.right.end(), 30474), kColumns - 1);
    EXPECT_EQ(session.ScanTotal.load(), kLength);
    EXPECT_GT(session.ScanDone.load(), QWORD{1} << 32);
    EXPECT_LE(session.ScanDone.load(), kLength);
}

TEST(ScanWaveform, ShortSourceFillsItsFirstColumnsAndLeavesTheRestZero) {
    FakeAudio audio;
    PlayerSession session;
    LoadAndScan(audio, session, Source(3 * kReadingBytes, [](std::uint64_t i) {
                    return Level(static_cast<DWORD>(10000 * (i + 1)), 20000);
                }));
    EXPECT_EQ(session.BytesPerPixel.load(), kReadingBytes);
    ASSERT_EQ(session.WaveLeft.size(), static_cast<std::size_t>(kWidth));
    ASSERT_EQ(session.WaveRight.size(), static_cast<std::size_t>(kWidth));
    // Peak 30000: 10000 -> 10158, 20000 -> 20316, 30000 -> 30474.
    EXPECT_EQ(session.WaveLeft[1], 10158);
    EXPECT_EQ(session.WaveLeft[2], 20316);
    EXPECT_EQ(session.WaveLeft[3], 30474);
    EXPECT_EQ(session.WaveRight[3], 20316);
    EXPECT_TRUE(std::all_of(session.WaveLeft.begin() + 4, session.WaveLeft.end(),
                            [](std::uint16_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(session.WaveRight.begin() + 4, session.WaveRight.end(),
                            [](std::uint16_t v) { return v == 0; }));
}

TEST(ScanWaveform, EntryZeroStaysZeroAndNothingExceedsTheScale) {
    FakeAudio audio;
    PlayerSession session;
    // A loud, varying minute: every reading full scale on one side or the other.
    LoadAndScan(audio, session, Source(kOneMinute, [](std::uint64_t i) {
                    return i % 3 == 0 ? Level(32768, 12345)
                                      : Level(static_cast<DWORD>(i % 32769), 32768);
                }));
    for (const auto* wave : {&session.WaveLeft, &session.WaveRight}) {
        ASSERT_EQ(wave->size(), static_cast<std::size_t>(kWidth));
        EXPECT_EQ((*wave)[0], 0);
        EXPECT_LE(*std::max_element(wave->begin(), wave->end()), 30474);
        EXPECT_GT(*std::max_element(wave->begin(), wave->end()), 10000);
    }
    // A full-scale source reaches the top exactly.
    FakeAudio loud;
    PlayerSession full;
    LoadAndScan(loud, full, Source(kOneMinute, [](std::uint64_t) { return Level(32768, 32768); }));
    EXPECT_EQ(*std::max_element(full.WaveLeft.begin(), full.WaveLeft.end()), 30474);
    EXPECT_EQ(full.WaveLeft[0], 0);
    EXPECT_EQ(full.WaveLeft[kWidth - 1], 30474);
}

struct EndCase {
    const char* name;
    bool loaded;    // PlayChannel set
    bool openable;  // the scan finds the file
    QWORD length;
    bool closing;
};

// Scans that have nothing to measure end normally with zero arrays and release their channel.
TEST(ScanWaveform, ScansWithoutADivisorEndNormally) {
    const EndCase cases[] = {
        {"nothing loaded, nothing to open", false, false, kOneMinute, false},
        {"silence throughout (peak 0)", true, true, kOneMinute, false},
        {"file opens but BytesPerPixel is 0", false, true, kOneMinute, false},
        {"closing before the first reading", true, true, kOneMinute, true},
        {"empty source", true, true, 0, false},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAudio audio;
        PlayerSession session;
        FakeSource s = Source(c.length);  // silent
        if (c.openable) {
            audio.AddFile("a.wav", s);
        }
        session.CurrentFileName = "a.wav";
        session.PlayChannel = c.loaded ? audio.MakePlayChannel(s) : 0;
        session.Closing = c.closing;
        {
            ScanController scan(session, audio);
            scan.Timer2Timer(kWidth);
            ASSERT_TRUE(WaitForScanEnd(session));
        }
        // Only the play channel (a tempo stream and its source) is left open.
        EXPECT_EQ(audio.OpenCount(), c.loaded ? 2 : 0);
        EXPECT_EQ(session.ScanChannel.load(), 0u);
        EXPECT_FALSE(session.Scanning.load());
        EXPECT_EQ(session.WaveLeft.size(), static_cast<std::size_t>(kWidth));
        EXPECT_TRUE(std::all_of(session.WaveLeft.begin(), session.WaveLeft.end(),
                                [](std::uint16_t v) { return v == 0; }));
    }
}

TEST(ScanWaveform, ModuleIsOpenedAsMusicAndReleasedAsMusic) {
    FakeAudio audio;
    PlayerSession session;
    FakeSource s = Source(10 * kReadingBytes, [](std::uint64_t) { return Level(1000, 1000); });
    s.module = true;
    LoadAndScan(audio, session, s);
    EXPECT_EQ(audio.OpenCount(), 2);  // the music channel went with MusicFree
    EXPECT_EQ(session.WaveLeft[1], 30474);
}

// The scan asks the engine to decode ahead only the stream it reads straight through: not a
// module, nor a CD track or the image it copies the track into.
TEST(ScanWaveform, OnlyAStreamIsDecodedAhead) {
    {
        FakeAudio audio;
        PlayerSession session;
        LoadAndScan(audio, session, Source(10 * kReadingBytes));
        const auto asked = audio.DecodeAheads();
        ASSERT_EQ(asked.size(), 1U);
        // The scan's own channel, released by the scan.
        EXPECT_NE(asked[0], session.PlayChannel.load());
        const auto freed = audio.Freed();
        EXPECT_NE(std::find(freed.begin(), freed.end(), asked[0]), freed.end());
    }
    {
        FakeAudio audio;
        PlayerSession session;
        FakeSource s = Source(10 * kReadingBytes);
        s.module = true;
        LoadAndScan(audio, session, s);
        EXPECT_TRUE(audio.DecodeAheads().empty());
    }
    {
        FakeAudio audio;
        PlayerSession session;
        audio.AddFile("t.cda", Source(20 * kReadingBytes));
        session.CurrentFileName = "t.cda";
        session.IsCdTrack = true;
        session.PlayChannel = audio.MakePlayChannel(Source(20 * kReadingBytes));
        ScanController scan(session, audio);
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitForScanEnd(session));
        EXPECT_TRUE(audio.DecodeAheads().empty());
    }
}

// ---- CD tracks ----

struct CdSession {
    FakeAudio audio;
    PlayerSession session;
    DWORD oldPlay = 0;
};

void PrepareCd(CdSession& cd, QWORD length, bool openable = true) {
    FakeSource s = Source(length);
    if (openable) {
        cd.audio.AddFile("t.cda", s);
    }
    cd.session.CurrentFileName = "t.cda";
    cd.session.IsCdTrack = true;
    cd.oldPlay = cd.audio.MakePlayChannel(s);
    cd.session.PlayChannel = cd.oldPlay;
    cd.session.LoopSync = 777;
    cd.session.LoopStart = 2 * kReadingBytes;
    cd.session.LoopEnd = 10 * kReadingBytes;
    cd.session.Volume = 20;
    cd.session.Playing = true;
}

TEST(ScanWaveform, CdTrackPlaysFromItsImageAfterTheScan) {
    CdSession cd;
    PrepareCd(cd, 20 * kReadingBytes);
    ScanController scan(cd.session, cd.audio);
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(cd.session));

    PlayerSession& s = cd.session;
    const DWORD play = s.PlayChannel.load();
    EXPECT_NE(play, cd.oldPlay);
    EXPECT_FALSE(cd.audio.IsOpen(cd.oldPlay));
    ASSERT_TRUE(cd.audio.IsOpen(play));
    ASSERT_EQ(cd.audio.KindOf(play), FakeKind::Tempo);
    const DWORD source = cd.audio.SourceOf(play);
    ASSERT_EQ(cd.audio.KindOf(source), FakeKind::Memory);
    ASSERT_TRUE(s.CdWaveImage);
    EXPECT_EQ(cd.audio.MemoryOf(source), s.CdWaveImage->data());
    EXPECT_EQ(cd.audio.MemoryLength(source), 20 * kReadingBytes + kWaveHeaderSize);
    EXPECT_EQ(cd.audio.OptionsOf(play), (std::map<DWORD, DWORD>{{3, 32}, {4, 20}}));
    EXPECT_EQ(cd.audio.VolumeOf(play), 20);  // the slider's volume, not the engine's default

    const auto syncs = cd.audio.Syncs();
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].channel, play);
    EXPECT_EQ(syncs[0].type, 0x40000000u);
    EXPECT_EQ(syncs[0].param, 10 * kReadingBytes);
    EXPECT_EQ(syncs[0].proc, &LoopSyncProc);
    EXPECT_EQ(syncs[0].user, &s);
    EXPECT_EQ(s.LoopSync.load(), 10001u);
    EXPECT_EQ(cd.audio.RemovedSyncs(), std::vector<HSYNC>{777});

    // Marks and transport flags are carried over untouched.
    EXPECT_EQ(s.LoopStart.load(), 2 * kReadingBytes);
    EXPECT_EQ(s.LoopEnd.load(), 10 * kReadingBytes);
    EXPECT_TRUE(s.Playing.load());
    // The envelope comes from the copied audio, which is never silent here.
    EXPECT_GT(s.WaveLeft[1], 0);
    EXPECT_EQ(cd.audio.OpenCount(), 2);  // the CD and image scan channels are released
}

TEST(ScanWaveform, CdTrackThatCannotBeOpenedKeepsItsPlayChannel) {
    CdSession cd;
    PrepareCd(cd, 20 * kReadingBytes, /*openable=*/false);
    ScanController scan(cd.session, cd.audio);
    scan.Timer2Timer(kWidth);
    ASSERT_TRUE(WaitForScanEnd(cd.session));
    EXPECT_EQ(cd.session.PlayChannel.load(), cd.oldPlay);
    EXPECT_TRUE(cd.audio.IsOpen(cd.oldPlay));
    EXPECT_FALSE(cd.session.CdWaveImage);
    EXPECT_TRUE(cd.audio.Syncs().empty());
    EXPECT_EQ(cd.session.WaveLeft.size(), static_cast<std::size_t>(kWidth));
}

TEST(ScanWaveform, NonCdScanDropsAnEarlierImage) {
    FakeAudio audio;
    PlayerSession session;
    session.CdWaveImage = std::make_shared<std::vector<std::uint8_t>>(100);
    LoadAndScan(audio, session, Source(10 * kReadingBytes));
    EXPECT_FALSE(session.CdWaveImage);
}

struct HeaderCase {
    const char* name;
    DWORD chans;
    DWORD flags;
    DWORD rate;
    std::array<std::uint8_t, 14> bytes22to35;
};

TEST(CdWaveImage, HeaderFields) {
    const HeaderCase cases[] = {
        {"standard CD track",
         2,
         0,
         44100,
         {0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00}},
        {"mono 8-bit",
         1,
         BASS_SAMPLE_8BITS,
         22050,
         {0x01, 0x00, 0x22, 0x56, 0x00, 0x00, 0x22, 0x56, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00}},
        // More than two channels are written as 2; the alignment keeps the real count.
        {"six channels",
         6,
         0,
         48000,
         {0x02, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0xCA, 0x08, 0x00, 0x0C, 0x00, 0x10, 0x00}},
        // Only the low half of a rate above 65535 fits the rate field.
        {"96 kHz",
         2,
         0,
         96000,
         {0x02, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0xDC, 0x05, 0x00, 0x04, 0x00, 0x10, 0x00}},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<std::uint8_t, kWaveHeaderSize> h{};
        WriteWaveHeader(h.data(),
                        CdWaveFormat(BASS_CHANNELINFO{44100, c.chans, c.flags, 0}, c.rate));
        EXPECT_EQ(std::memcmp(h.data(), "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0", 22), 0);
        EXPECT_EQ(std::memcmp(h.data() + 36, "data\0\0\0\0", 8), 0);
        EXPECT_TRUE(std::equal(c.bytes22to35.begin(), c.bytes22to35.end(), h.begin() + 22));
    }
}

struct CopyCase {
    const char* name;
    QWORD length;
    QWORD delivers;
};

TEST(CdWaveImage, CopyFillsTheImageAndNeverWritesPastIt) {
    const CopyCase cases[] = {
        {"exact", 50000, 50000},
        {"channel delivers more than its length", 30000, 60000},
        {"channel ends early: the rest stays silence", 30000, 12345},
        {"length not a multiple of the block", 10241, 10241},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAudio audio;
        PlayerSession session;
        FakeSource s = Source(c.length);
        s.cdDelivers = c.delivers;
        audio.AddFile("t.cda", s);
        session.PlayChannel = audio.MakePlayChannel(s);
        const DWORD cd = audio.CdStreamCreateFile("t.cda", 0);
        const auto image = BuildCdWaveImage(audio, session, cd, {});
        ASSERT_TRUE(image);
        ASSERT_EQ(image->size(), c.length + kWaveHeaderSize);
        const QWORD copied = std::min(c.length, c.delivers);
        for (QWORD i = 0; i < c.length; ++i) {
            const std::uint8_t expected =
                i < copied ? static_cast<std::uint8_t>((i * 7 + 1) & 0xFF) : 0;
            ASSERT_EQ((*image)[kWaveHeaderSize + i], expected) << "byte " << i;
        }
        EXPECT_EQ(session.ScanTotal.load(), c.length + kWaveHeaderSize);
        EXPECT_EQ(session.ScanDone.load(), copied + kWaveHeaderSize);
    }
}

TEST(CdWaveImage, NoImageWithoutALength) {
    FakeAudio audio;
    PlayerSession session;
    EXPECT_EQ(BuildCdWaveImage(audio, session, 0, {}), nullptr);
}

}  // namespace
}  // namespace tarvel::overview
