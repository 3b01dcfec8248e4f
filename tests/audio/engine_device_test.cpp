// The real device path: SDL's disk driver writes what the device would have played, which must
// be what the capture output renders for the same input (after the device's start-up silence).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

constexpr DWORD kRate = 44100;

void StopAtEnd(HSYNC, DWORD channel, DWORD, void*) {
    BASS_ChannelStop(channel);
}

HSTREAM OpenToPlayOnce(const test::Pcm& pcm) {
    const HSTREAM h =
        BASS_FX_TempoCreate(OpenPcmStream(pcm), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &StopAtEnd, nullptr);
    BASS_ChannelSetAttributes(h, -1, 80, -101);
    return h;
}

std::vector<std::int16_t> DropLeadingSilence(const std::vector<std::int16_t>& s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == 0) {
        ++i;
    }
    return {s.begin() + static_cast<std::ptrdiff_t>(i & ~std::size_t{1}), s.end()};
}

TEST(EngineDevice, DiskDriverOutputMatchesTheCaptureOutput) {
    test::TempDir dir("device");
    const std::string raw = dir.file("out.raw").string();
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    const test::Pcm pcm = test::MakeNoise(kRate, 2, kRate / 2, 11, 0.5);

    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    const HSTREAM played = OpenToPlayOnce(pcm);
    ASSERT_TRUE(BASS_ChannelPlay(played, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (BASS_ChannelIsActive(played) == BASS_ACTIVE_PLAYING &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(BASS_ChannelIsActive(played), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(played), pcm.bytes());
    ASSERT_TRUE(BASS_Free());

    ASSERT_TRUE(audio::InitCapture(kRate));
    const HSTREAM captured = OpenToPlayOnce(pcm);
    ASSERT_TRUE(BASS_ChannelPlay(captured, 0));
    std::vector<std::int16_t> expected(pcm.samples.size() + 2 * 4410);
    audio::CaptureRender(expected.data(), expected.size() / 2);
    BASS_Free();

    const std::vector<std::uint8_t> bytes = test::ReadBytes(raw);
    std::vector<std::int16_t> device(bytes.size() / 2);
    for (std::size_t i = 0; i < device.size(); ++i) {
        device[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    const std::vector<std::int16_t> heard = DropLeadingSilence(device);
    const std::vector<std::int16_t> want = DropLeadingSilence(expected);
    ASSERT_GE(heard.size(), pcm.samples.size());
    EXPECT_TRUE(std::equal(want.begin(), test::At(want, pcm.samples.size() - 2), heard.begin()));
}

TEST(EngineDevice, InitFailsWithoutADevice) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Free());
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_FALSE(BASS_Init(-1, 1, 0, nullptr, nullptr));  // no such rate
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(-1, kRate, 0, nullptr, nullptr));  // already open
    EXPECT_TRUE(BASS_Free());
}

}  // namespace
}  // namespace tarvel::engine_test
