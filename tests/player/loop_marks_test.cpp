// The loop marks moved by mouse presses and drags on the overview, on a real one-second source and
// on a recording of more than 4 GiB of PCM.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "player/LoopRegion.h"
#include "player/OverviewMouse.h"
#include "tests/player/player_helpers.h"
#include "tests/support/CaseName.h"
#include "tests/support/LongRecording.h"

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
    QWORD bytesPerPixel;
    std::vector<Step> steps;
    QWORD start;
    QWORD end;
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

// Opens `file`, which must be `length` bytes long, and runs the case's steps on it.
void RunMarkCase(const MarkCase& c, const std::filesystem::path& file, QWORD length) {
    PlayerRig rig;
    ASSERT_NE(rig.loader.OpenSource(QString::fromStdString(file.string()), false, false), 0u);
    ASSERT_EQ(BASS_ChannelGetLength(rig.session.PlayChannel), length);
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

TEST_P(LoopMarks, MarksAndPosition) {
    RunMarkCase(GetParam(), WriteRampWav(dir, "a.wav", 1.0), kLength);
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
    ::tarvel::test::CaseName());

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

// 30436.06 s of 44.1 kHz stereo: 5,368,920,984 bytes, a little over 5 GiB.
constexpr QWORD kLongFrames = 1342230246;
constexpr QWORD kLongLength = kLongFrames * 4;
constexpr QWORD kLongBpp = kLongLength / 712;  // 7540619, as the scan derives it
constexpr QWORD Px(QWORD x) {
    return x * kLongBpp;
}
// The play position a seek to column x gives: the whole frame at or before it (the column width
// is odd).
constexpr QWORD FrameAt(QWORD x) {
    return Px(x) / 4 * 4;
}

class LongLoopMarks : public ::testing::TestWithParam<MarkCase> {
  protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>("longmarks");
        WriteSparseWav(dir->file("long.wav"), 44100, 2, kLongFrames);
    }
    static void TearDownTestSuite() { dir.reset(); }
    void SetUp() override { EnsureEngine(); }
    static inline std::unique_ptr<TempDir> dir;
};

TEST_P(LongLoopMarks, MarksAndPosition) {
    RunMarkCase(GetParam(), dir->file("long.wav"), kLongLength);
}

// Marks, seeks and the length test beyond 4 GiB. Px(x) is column x.
INSTANTIATE_TEST_SUITE_P(
    Table, LongLoopMarks,
    ::testing::Values(
        MarkCase{"RightClickBeyond4GiB", kLongBpp, {{Op::Right, 700}}, 0, Px(700), 0},
        // Column 350 lies between 2 and 4 GiB, where a signed 32-bit value turns negative.
        MarkCase{"LeftClickBetween2And4GiBSeeksThere",
                 kLongBpp,
                 {{Op::Right, 700}, {Op::Left, 350}},
                 Px(350),
                 Px(700),
                 FrameAt(350)},
        MarkCase{"LeftClickBeyond4GiBSeeksThere",
                 kLongBpp,
                 {{Op::Left, 650}},
                 Px(650),
                 kLongLength,
                 FrameAt(650)},
        MarkCase{"LeftOnEndPixelGoesOnePixelLeft",
                 kLongBpp,
                 {{Op::Right, 700}, {Op::Left, 700}},
                 Px(699),
                 Px(700),
                 FrameAt(699)},
        MarkCase{"RightLeftOfStartPullsStartToZero",
                 kLongBpp,
                 {{Op::Left, 650}, {Op::Right, 600}},
                 0,
                 Px(600),
                 FrameAt(650)},
        MarkCase{"LeftRightOfEndPushesEndToSourceEnd",
                 kLongBpp,
                 {{Op::Right, 600}, {Op::Left, 650}},
                 Px(650),
                 kLongLength,
                 FrameAt(650)},
        // The truncated column width leaves column 712 256 bytes inside the source.
        MarkCase{"RightAtColumn712Inside", kLongBpp, {{Op::Right, 712}}, 0, Px(712), 0},
        MarkCase{"RightBeyondSourceIgnored", kLongBpp, {{Op::Right, 713}}, 0, kLongLength, 0},
        MarkCase{"NegativeXDragKeepsMark",
                 kLongBpp,
                 {{Op::LeftDown, 650}, {Op::Move, -3}, {Op::Up, 0}},
                 Px(650),
                 kLongLength,
                 FrameAt(650)},
        // 5000 columns is 37.7 GB: a product kept in 32 bits would wrap back into the source.
        MarkCase{"FarRightDragKeepsMark",
                 kLongBpp,
                 {{Op::LeftDown, 650}, {Op::Move, 5000}, {Op::Up, 0}},
                 Px(650),
                 kLongLength,
                 FrameAt(650)},
        MarkCase{"BeforeFirstScanLeftPutsStartAtZero", 0, {{Op::Left, 650}}, 0, kLongLength, 0}),
    ::tarvel::test::CaseName());

TEST(PixelToPosition, SixtyFourBitProduct) {
    const struct {
        int x;
        QWORD bytesPerPixel;
        QWORD position;
    } cases[] = {
        {10, 3528, 35280},
        {0, 3528, 0},
        {300, 0, 0},                       // before the first scan every column is position 0
        {-4, 0, 0},                        // ... a drag to the left too
        {-1, 3528, ~QWORD{0} - 3528 + 1},  // far beyond any source
        {-700, kLongBpp, ~QWORD{0} - 700 * kLongBpp + 1},
        {0x10000, 0x10001, QWORD{0x10000} * 0x10001},  // grows into the high half
        {5000, kLongBpp, 5000 * kLongBpp},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PixelToPosition(c.x, c.bytesPerPixel), c.position)
            << c.x << " x " << c.bytesPerPixel;
    }
}

}  // namespace
}  // namespace tarvel::test
