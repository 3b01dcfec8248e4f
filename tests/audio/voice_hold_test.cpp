// A flush that holds its new audio back: the consumer fades out what it played and then stays
// silent, without counting a short ring, until the producer lets the new audio go; a flush that
// does not hold plays on at once. Both keep working once the flush count has wrapped.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/Voice.h"

namespace tarvel::audio {
namespace {

constexpr std::size_t kAhead = 4096;
constexpr std::size_t kDevice = 512;
constexpr std::size_t kRamp = 64;
constexpr std::int16_t kOld = 1000;
constexpr std::int16_t kNew = 3000;

void Write(Voice& v, std::int16_t value, std::size_t frames) {
    const std::vector<std::int16_t> stereo(frames * 2, value);
    v.ring().write(stereo.data(), frames);
}

// The left channel of one device buffer.
std::vector<std::int32_t> Mix(Voice& v, std::uint64_t& deviceFrame) {
    std::vector<std::int32_t> acc(kDevice * 2, 0);
    v.mixInto(acc.data(), kDevice, deviceFrame);
    deviceFrame += kDevice;
    std::vector<std::int32_t> left(kDevice);
    for (std::size_t i = 0; i < kDevice; ++i) {
        left[i] = acc[2 * i];
    }
    return left;
}

TEST(VoiceHold, HeldAudioWaitsForItsReleaseAndPlaysThen) {
    for (const int cycles : {0, 70'000}) {  // the flush count wraps at 65536
        SCOPED_TRACE(cycles);
        Voice v(kAhead, kDevice, 2, kRamp);
        std::uint64_t at = 0;
        for (int i = 0; i < cycles; ++i) {
            v.flush(i % 2 == 0);
            v.releaseNew();
        }
        v.flush(false);  // a play: what follows sounds at once
        Write(v, kOld, kAhead);
        Mix(v, at);
        ASSERT_EQ(Mix(v, at).back(), kOld) << "an unheld flush plays at once";

        v.flush(true);  // a jump: the new audio is there, but not yet let go
        EXPECT_TRUE(v.holdingNew());
        Write(v, kNew, kAhead);
        const std::vector<std::int32_t> during = Mix(v, at);
        // The old sound fades out over the ramp from where it was, then silence.
        EXPECT_GT(during.front(), 0);
        EXPECT_LE(during.front(), kOld);
        for (std::size_t i = kRamp; i < during.size(); ++i) {
            ASSERT_EQ(during[i], 0) << "at " << i;
        }
        EXPECT_EQ(Mix(v, at), std::vector<std::int32_t>(kDevice, 0));
        EXPECT_EQ(v.underruns(), 0u) << "a held start is not a short ring";

        v.releaseNew();
        EXPECT_FALSE(v.holdingNew());
        const std::vector<std::int32_t> after = Mix(v, at);
        EXPECT_LT(after.front(), kNew);  // fades in
        EXPECT_EQ(after.back(), kNew);
        EXPECT_EQ(v.underruns(), 0u);
    }
}

TEST(VoiceHold, AStopFlushWhileHeldFadesNothingAndReleases) {
    Voice v(kAhead, kDevice, 2, kRamp);
    std::uint64_t at = 0;
    v.flush(true);
    Write(v, kNew, kAhead);
    EXPECT_EQ(Mix(v, at), std::vector<std::int32_t>(kDevice, 0));
    v.flush(false);  // stopped before it was let go: nothing of it was heard, nothing fades
    EXPECT_FALSE(v.holdingNew());
    EXPECT_EQ(Mix(v, at), std::vector<std::int32_t>(kDevice, 0));
    EXPECT_TRUE(v.quiet());
}

}  // namespace
}  // namespace tarvel::audio
