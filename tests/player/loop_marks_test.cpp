// The loop marks moved by mouse presses and drags on the overview, on a real one-second source.
#include <gtest/gtest.h>

#include <vector>

#include "player/LoopRegion.h"
#include "player/OverviewMouse.h"
#include "tests/player/player_helpers.h"

namespace tarvel::test {
namespace {

constexpr std::uint32_t kLength = kBytesPerSecond;  // one second
constexpr std::uint32_t kBpp = 4000;                // 44.1 pixels cover the source

enum class Op { Left, Right, LeftDown, Middle, Move, Up };
struct Step {
    Op op;
    int x;
};

struct MarkCase {
    const char* name;
    std::uint32_t bytesPerPixel;
    std::vector<Step> steps;
    std::uint32_t start;
    std::uint32_t end;
    std::optional<QWORD> position;  // the channel position afterwards, when the case fixes it
};

void Apply(PlayerSession& s, const Step& step) {
    switch (step.op) {
        case Op::Left:
            PBMouseDown(s, Qt::LeftButton, step.x);
            PBMouseUp(s);
            break;
        case Op::Right:
            PBMouseDown(s, Qt::RightButton, step.x);
            PBMouseUp(s);
            break;
        case Op::LeftDown:
            PBMouseDown(s, Qt::LeftButton, step.x);
            break;
        case Op::Middle:
            PBMouseDown(s, Qt::MiddleButton, step.x);
            PBMouseUp(s);
            break;
        case Op::Move:
            PBMouseMove(s, step.x);
            break;
        case Op::Up:
            PBMouseUp(s);
            break;
    }
}

class LoopMarks : public ::testing::TestWithParam<MarkCase> {
  protected:
    void SetUp() override { EnsureEngine(); }
    TempDir dir{"marks"};
};

TEST_P(LoopMarks, MarksAndPosition) {
    const MarkCase& c = GetParam();
    PlayerRig rig;
    ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(WriteRampWav(dir, "a.wav", 1.0)), false,
                                    false),
              0u);
    ASSERT_EQ(BASS_ChannelGetLength(rig.session.PlayChannel), QWORD{kLength});
    rig.session.BytesPerPixel = c.bytesPerPixel;
    for (const Step& step : c.steps) {
        Apply(rig.session, step);
    }
    EXPECT_EQ(rig.session.LoopStart.load(), c.start);
    EXPECT_EQ(rig.session.LoopEnd.load(), c.end);
    EXPECT_LE(rig.session.LoopStart.load(), rig.session.LoopEnd.load());
    if (c.position) {
        EXPECT_EQ(BASS_ChannelGetPosition(rig.session.PlayChannel), *c.position);
    }
}

// Each press is followed by a release unless the case drags.
INSTANTIATE_TEST_SUITE_P(
    Table, LoopMarks,
    ::testing::Values(
        MarkCase{"LeftClickSetsStartAndSeeks", kBpp, {{Op::Left, 10}}, 40000, kLength, 40000},
        MarkCase{"RightClickSetsEnd", kBpp, {{Op::Right, 10}}, 0, 40000, 0},
        MarkCase{"LeftOnEndPixelGoesOnePixelLeft",
                 kBpp,
                 {{Op::Right, 10}, {Op::Left, 10}},
                 36000,
                 40000,
                 36000},
        MarkCase{"RightOnStartPixelGoesOnePixelRight",
                 kBpp,
                 {{Op::Left, 5}, {Op::Right, 5}},
                 20000,
                 24000,
                 20000},
        // The end lands left of the start: the play position (beyond the new end) jumps to the
        // old start, then the start drops to 0.
        MarkCase{"RightLeftOfStartPullsStartToZero",
                 kBpp,
                 {{Op::Left, 20}, {Op::Right, 5}},
                 0,
                 20000,
                 80000},
        MarkCase{"LeftRightOfEndPushesEndToSourceEnd",
                 kBpp,
                 {{Op::Right, 10}, {Op::Left, 30}},
                 120000,
                 kLength,
                 120000},
        MarkCase{"LeftBeyondSourceIgnored",
                 kBpp,
                 {{Op::Left, 10}, {Op::Left, 45}},
                 40000,
                 kLength,
                 40000},
        MarkCase{"RightBeyondSourceIgnored", kBpp, {{Op::Right, 45}}, 0, kLength, 0},
        MarkCase{"RightAtLastPixelInside", kBpp, {{Op::Right, 44}}, 0, 176000, 0},
        MarkCase{"DragFollowsPointerUntilRelease",
                 kBpp,
                 {{Op::Right, 40},
                  {Op::LeftDown, 1},
                  {Op::Move, 3},
                  {Op::Move, 5},
                  {Op::Up, 0},
                  {Op::Move, 0}},
                 20000,
                 160000,
                 20000},
        MarkCase{"NegativeXDragKeepsMark",
                 kBpp,
                 {{Op::LeftDown, 8}, {Op::Move, -3}, {Op::Up, 0}},
                 32000,
                 kLength,
                 32000},
        MarkCase{"BeforeFirstScanLeftPutsStartAtZero", 0, {{Op::Left, 30}}, 0, kLength, 0},
        MarkCase{"BeforeFirstScanRightPutsEndAtZero", 0, {{Op::Right, 30}}, 0, 0, 0},
        // An end mark at 0 and a left click on it: ignored, the start never passes the end.
        MarkCase{"LeftOnEndMarkAtZeroIgnored",
                 kBpp,
                 {{Op::Left, 5}, {Op::Right, 0}, {Op::Left, 0}},
                 0,
                 0,
                 20000},
        MarkCase{
            "MiddleButtonDoesNothing", kBpp, {{Op::Middle, 10}, {Op::Move, 20}}, 0, kLength, 0}),
    [](const ::testing::TestParamInfo<MarkCase>& info) { return std::string(info.param.name); });

// A drag only follows the pointer while a button is held: after the release, moves do nothing.
TEST(LoopMarksDrag, MovesAfterReleaseAndOtherButtonsIgnored) {
    EnsureEngine();
    TempDir dir{"drag"};
    PlayerRig rig;
    ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(WriteRampWav(dir, "a.wav", 1.0)), false,
                                    false),
              0u);
    rig.session.BytesPerPixel = kBpp;
    PBMouseDown(rig.session, Qt::LeftButton, 5);
    PBMouseMove(rig.session, 12);
    EXPECT_EQ(rig.session.LoopStart.load(), 48000u);
    PBMouseUp(rig.session);
    PBMouseMove(rig.session, 20);
    EXPECT_EQ(rig.session.LoopStart.load(), 48000u);
    PBMouseDown(rig.session, Qt::MiddleButton, 30);
    PBMouseMove(rig.session, 30);
    EXPECT_EQ(rig.session.LoopStart.load(), 48000u);
    EXPECT_EQ(rig.session.LoopEnd.load(), kLength);
}

TEST(LoopMarksNoSource, EveryPositionRejected) {
    EnsureEngine();
    PlayerSession s;
    s.BytesPerPixel = kBpp;
    s.LoopEnd = 0;
    SetLoopStart(s, 4000);
    SetLoopEnd(s, 8000);
    PBMouseDown(s, Qt::LeftButton, 3);
    EXPECT_EQ(s.LoopStart.load(), 0u);
    EXPECT_EQ(s.LoopEnd.load(), 0u);
    EXPECT_EQ(s.LoopSync.load(), 0u);
}

TEST(PixelToPosition, ThirtyTwoBitProduct) {
    EXPECT_EQ(PixelToPosition(10, 3528), QWORD{35280});
    // -1 x 3528 taken as an unsigned 32-bit product.
    EXPECT_EQ(PixelToPosition(-1, 3528), QWORD{0xFFFFFFFFu - 3528 + 1});
    // The product wraps at 32 bits instead of growing into the high half.
    EXPECT_EQ(PixelToPosition(0x10000, 0x10001), QWORD{0x10000});
}

}  // namespace
}  // namespace tarvel::test
