// Output section: the ganged pair follows its left fader at the stored
// offset, mute panels cover both outputs while ganged.
#include "ActionsFixture.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

namespace {

using Strings = std::vector<std::string>;

class OutputActions : public ActionsFixture {
protected:
    // Sub pair at the given positions, ganged by the user's click.
    void GangSub(int left, int right, bool leftMuted = false, bool rightMuted = false)
    {
        Connect([&](sim::DeviceState& s) {
            s.live.stereoGain[1] = static_cast<std::uint8_t>(left);
            s.live.stereoGain[2] = static_cast<std::uint8_t>(right);
            s.live.stereoMute[1] = leftMuted;
            s.live.stereoMute[2] = rightMuted;
        });
        QTest::mouseClick(w_->btnSubGanged, Qt::LeftButton);
        ASSERT_EQ(Sent(), Strings{Frame(0xAA, {1, 0x01})});
        ASSERT_TRUE(w_->SubGanged);
        ASSERT_EQ(w_->SubGangedOffset, left - right);
    }
};

// Moving the left fader of a ganged pair in one step.
struct GangCase {
    const char* name;
    int left;
    int right;
    int moveTo;
    int leftAfter;
    int rightAfter;
    std::vector<int> sent;  // positions sent for the left output, in order
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const GangCase& c, std::ostream* os)
{
    *os << c.name;
}

class GangedDrag : public OutputActions, public testing::WithParamInterface<GangCase> {};

TEST_P(GangedDrag, LeftFaderDrivesTheRight)
{
    const GangCase& c = GetParam();
    GangSub(c.left, c.right);
    Drag(w_->tbSubLeft, c.moveTo);
    EXPECT_EQ(w_->tbSubLeft->Position(), c.leftAfter);
    EXPECT_EQ(w_->tbSubRight->Position(), c.rightAfter);
    Strings frames;
    for (int p : c.sent) {
        frames.push_back(Frame(0xA2, {static_cast<std::uint8_t>(p), 0x01}));
    }
    EXPECT_EQ(Sent(), frames) << "nothing is ever sent for the right output";
    EXPECT_EQ(device_->State().live.stereoGain[1], c.leftAfter);
    EXPECT_EQ(device_->State().live.stereoGain[2], c.right);
    EXPECT_EQ(w_->LastSent[kLastSubRight], c.leftAfter - (c.left - c.right));
}

INSTANTIATE_TEST_SUITE_P(Table, GangedDrag,
                         testing::Values(GangCase{"Follows", 10, 20, 15, 15, 25, {15}},
                                         GangCase{"RightHitsMuteEnd", 10, 20, 72, 69, 79, {72, 69}},
                                         GangCase{"RightHitsTopEnd", 30, 20, 5, 10, 0, {5, 10}}),
                         [](const testing::TestParamInfo<GangCase>& info) { return std::string(info.param.name); });

}  // namespace
