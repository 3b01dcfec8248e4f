// Many threads on the engine at once: the mixing thread runs sync callbacks that seek and stop,
// while the user-interface thread removes and sets syncs, seeks, plays, stops, changes the tempo
// and frees and reopens the channel, and a scan thread reads levels of its own channel. Run
// under TSan; the checks here are that nothing deadlocks, crashes or answers wrongly afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/bass.h"
#include "tests/audio/engine_helpers.h"
#include "tests/support/TestAudio.h"

namespace tarvel::engine_test {
namespace {

constexpr DWORD kRate = 44100;
constexpr int kIterations = 3000;

struct Session {
    std::atomic<DWORD> channel{0};
    std::atomic<QWORD> loopStart{0};
    std::atomic<bool> repeat{true};
    std::atomic<int> callbacks{0};
};

void LoopSyncProc(HSYNC, DWORD channel, DWORD, void* user) {
    auto* s = static_cast<Session*>(user);
    ++s->callbacks;
    if (s->repeat.load()) {
        if (!BASS_ChannelSetPosition(channel, s->loopStart.load())) {
            BASS_ChannelSetPosition(channel, 0);
        }
    } else {
        BASS_ChannelStop(channel);
    }
}

HSTREAM OpenPlayChannel(const test::Pcm& pcm) {
    const HSTREAM h =
        BASS_FX_TempoCreate(OpenPcmStream(pcm), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_FX_TempoSetOption(h, 3, 32);
    BASS_FX_TempoSetOption(h, 4, 20);
    return h;
}

// The user-interface side of the race: random operations on the play channel while the output
// renders it and a scan thread reads a channel of its own.
void RaceWithTheOutput(Session& session, const test::Pcm& pcm, int iterations) {
    std::atomic<bool> done{false};
    std::jthread scan([&] {
        while (!done.load()) {
            const HSTREAM c = OpenPcmStream(pcm);
            while (BASS_ChannelIsActive(c) == BASS_ACTIVE_PLAYING && !done.load()) {
                BASS_ChannelGetLevel(c);
            }
            BASS_StreamFree(c);
        }
    });

    std::mt19937 rng(42);
    HSYNC sync = 0;
    const QWORD length = pcm.bytes();
    for (int i = 0; i < iterations; ++i) {
        const DWORD h = session.channel.load();
        const QWORD mark = (rng() % (length / 2)) & ~QWORD{1};
        switch (rng() % 9) {
            case 0:
                BASS_ChannelRemoveSync(h, sync);
                sync = BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, length / 2 + mark,
                                           &LoopSyncProc, &session);
                break;
            case 1:
                BASS_ChannelRemoveSync(h, sync);
                sync = BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, &LoopSyncProc,
                                           &session);
                break;
            case 2:
                session.loopStart = mark;
                if (!BASS_ChannelSetPosition(h, mark)) {
                    BASS_ChannelSetPosition(h, 0);
                }
                break;
            case 3:
                BASS_ChannelPlay(h, 0);
                break;
            case 4:
                BASS_ChannelStop(h);
                break;
            case 5:
                BASS_FX_TempoSet(h, static_cast<float>(rng() % 351) - 50.0f, 44100.0f, 0.0f);
                break;
            case 6:
                session.repeat = !session.repeat.load();
                BASS_ChannelSetAttributes(h, -1, static_cast<int>(rng() % 101), -101);
                break;
            case 7:
                BASS_StreamFree(h);
                session.channel = OpenPlayChannel(pcm);
                sync = 0;
                break;
            default:
                BASS_ChannelGetPosition(h);
                BASS_ChannelGetLevel(h);
                BASS_ChannelIsActive(h);
                break;
        }
        if (i % 64 == 0) {
            std::this_thread::yield();
        }
    }
    done = true;
    scan.join();
}

// After the race the channel still loops: a sync set now fires (and seeks back) as playback
// reaches it. `advance` moves the output on.
void ExpectTheLoopStillWorks(Session& session, const test::Pcm& pcm,
                             const std::function<void()>& advance) {
    const DWORD h = session.channel.load();
    session.repeat = true;
    session.loopStart = 0;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_MIXTIME, pcm.bytes() / 2,
                                  &LoopSyncProc, &session),
              0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    const int before = session.callbacks.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (session.callbacks.load() < before + 2 && std::chrono::steady_clock::now() < deadline) {
        advance();
    }
    EXPECT_GE(session.callbacks.load(), before + 2);
    EXPECT_NE(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_LE(BASS_ChannelGetPosition(h), pcm.bytes() / 2);
}

TEST(EngineStress, CallbacksAndUserInterfaceCallsRaceWithoutHarm) {
    ASSERT_TRUE(audio::InitCapture(kRate));
    const test::Pcm pcm = MonoSine(kRate, kRate / 4, 441.0, 0.5);
    Session session;
    session.channel = OpenPlayChannel(pcm);
    std::atomic<bool> done{false};
    std::jthread mixing([&] {
        std::vector<std::int16_t> block(2 * 256);
        while (!done.load()) {
            audio::CaptureRender(block.data(), 256);
        }
    });
    RaceWithTheOutput(session, pcm, kIterations);
    done = true;
    mixing.join();
    // The engine still answers sensibly.
    std::vector<std::int16_t> block(2 * 256);
    ExpectTheLoopStillWorks(session, pcm, [&] { audio::CaptureRender(block.data(), 256); });
    const DWORD h = session.channel.load();
    EXPECT_EQ(BASS_ChannelGetLength(h), pcm.bytes());
    EXPECT_TRUE(BASS_ChannelSetPosition(h, 0));
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetLength(h), BASS_ERROR_QWORD);
}

}  // namespace
}  // namespace tarvel::engine_test

namespace tarvel::engine_test {
namespace {

// The same race on a real device: the render thread renders ahead and runs the callbacks, SDL's
// thread mixes, and the device comes and goes as playback starts and stops.
TEST(EngineStress, TheRenderThreadAndTheDeviceCallbackRaceWithoutHarm) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    const test::Pcm pcm = MonoSine(kRate, kRate / 4, 441.0, 0.5);
    Session session;
    session.channel = OpenPlayChannel(pcm);
    BASS_ChannelPlay(session.channel.load(), 0);
    RaceWithTheOutput(session, pcm, kIterations / 3);
    const DWORD h = session.channel.load();
    EXPECT_EQ(BASS_ChannelGetLength(h), pcm.bytes());
    ExpectTheLoopStillWorks(session, pcm,
                            [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    EXPECT_TRUE(BASS_Free());
}

}  // namespace
}  // namespace tarvel::engine_test
