// The scan decoding ahead on every core, on the real engine: the same arrays and progress as a
// scan of a channel read sequentially, and a new LOAD during it leaves no helper running.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "audio/bass.h"
#include "audio/decoders/ParallelDecode.h"
#include "overview/ScanController.h"
#include "overview/ScanWaveform.h"
#include "player/AudioPort.h"
#include "tests/overview/ScanTestSupport.h"
#include "tests/support/ProcessThreads.h"
#include "tests/support/TestAudio.h"

namespace tarvel::overview {
namespace {

using testing::WaitForScanEnd;
using testing::WaitUntil;

constexpr int kWidth = 712;
constexpr std::uint32_t kRate = 44100;
// Longer than three of the engine's segments, so that every helper gets some.
constexpr std::size_t kSeconds = 70;

HSTREAM OpenStream(const std::filesystem::path& path) {
    return BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
}

void Load(PlayerSession& session, const std::filesystem::path& path) {
    BASS_StreamFree(session.PlayChannel.exchange(0));
    session.CurrentFileName = path.string();
    session.PlayChannel =
        BASS_FX_TempoCreate(OpenStream(path), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    session.LoopEnd = static_cast<std::uint32_t>(BASS_ChannelGetLength(session.PlayChannel));
}

struct Material {
    const char* name;
    bool (*encode)(const std::filesystem::path& wav, const std::filesystem::path& out);
    const char* ext;
};

bool Mp3(const std::filesystem::path& wav, const std::filesystem::path& out) {
    return test::EncodeMp3(wav, out, 128);
}
bool Vorbis(const std::filesystem::path& wav, const std::filesystem::path& out) {
    return test::EncodeVorbis(wav, out, 3);
}
bool Flac(const std::filesystem::path& wav, const std::filesystem::path& out) {
    return test::EncodeFlac(wav, out);
}

TEST(ScanParallel, ArraysAndProgressAreThoseOfASequentialScan) {
    test::TempDir dir("scanpar");
    const auto wav = dir.file("in.wav");
    // Loudness that changes from column to column, so that a shifted or reordered segment shows.
    test::Pcm pcm = test::MakeNoise(kRate, 2, kRate * kSeconds, 9, 0.7);
    const test::Pcm tone = test::MakeSine(kRate, 2, kRate * kSeconds, 0.3, 1.0);
    for (std::size_t i = 0; i < pcm.samples.size(); ++i) {
        pcm.samples[i] =
            static_cast<std::int16_t>(pcm.samples[i] * std::abs(tone.samples[i]) / 32768);
    }
    test::WriteWav(wav, pcm);
    const bool cores = audio::DecodeAheadThreads() >= 2;

    for (const Material& m : {Material{"mp3", Mp3, "mp3"}, Material{"vorbis", Vorbis, "ogg"},
                              Material{"flac", Flac, "flac"}}) {
        const auto file = dir.file(std::string("a.") + m.ext);
        ASSERT_TRUE(m.encode(wav, file)) << m.name;
        PlayerSession session;
        Load(session, file);
        ASSERT_NE(session.PlayChannel.load(), 0U) << m.name;

        // The reference: the scan's loop over a channel nobody asked to decode ahead.
        const HSTREAM plain = OpenStream(file);
        PlayerSession reference;
        const QWORD bytesPerPixel = BASS_ChannelGetLength(plain) / kWidth;
        const ScanOutput expected = ScanEnvelope(DefaultAudioPort(), reference, bytesPerPixel,
                                                 plain, kWidth, std::stop_token{});
        BASS_StreamFree(plain);

        const HSTREAM probe = OpenStream(file);
        EXPECT_EQ(BASS_ChannelDecodeAhead(probe), cores ? 1 : 0) << m.name;
        BASS_StreamFree(probe);

        {
            ScanController scan(session);
            scan.Timer2Timer(kWidth);
            ASSERT_TRUE(WaitForScanEnd(session)) << m.name;
        }
        EXPECT_EQ(session.BytesPerPixel.load(), bytesPerPixel) << m.name;
        EXPECT_EQ(session.ScanTotal.load(), reference.ScanTotal.load()) << m.name;
        EXPECT_EQ(session.ScanDone.load(), reference.ScanDone.load()) << m.name;
        EXPECT_TRUE(session.WaveLeft == expected.left) << m.name;
        EXPECT_TRUE(session.WaveRight == expected.right) << m.name;
        EXPECT_GT(*std::max_element(expected.left.begin(), expected.left.end()), 0) << m.name;
        BASS_StreamFree(session.PlayChannel.exchange(0));
    }
}

TEST(ScanParallel, LoadDuringAParallelScanLeavesNoHelperRunning) {
    test::TempDir dir("scanparload");
    const auto wav = dir.file("in.wav");
    test::WriteWav(wav, test::MakeNoise(kRate, 2, kRate * kSeconds, 4, 0.5));
    const auto mp3 = dir.file("a.mp3");
    ASSERT_TRUE(test::EncodeMp3(wav, mp3, 128));

    PlayerSession session;
    ScanController scan(session);
    Load(session, mp3);
    const std::size_t before = test::ThreadsOfThisProcess();
    for (int i = 0; i < 3; ++i) {
        scan.Timer2Timer(kWidth);
        ASSERT_TRUE(WaitUntil([&] { return session.ScanDone.load() > 0; }));
        scan.CancelAndWait();  // LOAD's first step
        EXPECT_FALSE(session.Scanning.load());
        EXPECT_EQ(session.ScanChannel.load(), 0U);
        EXPECT_EQ(test::ThreadsOfThisProcess(), before) << "pass " << i;
    }
    BASS_StreamFree(session.PlayChannel.exchange(0));
}

}  // namespace
}  // namespace tarvel::overview
