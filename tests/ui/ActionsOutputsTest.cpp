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

TEST_F(OutputActions, GangedPairOnMaster)
{
    Connect([](sim::DeviceState& s) {
        s.live.stereoGain[3] = 40;
        s.live.stereoGain[4] = 35;
    });
    QTest::mouseClick(w_->btnMasterGanged, Qt::LeftButton);
    EXPECT_EQ(Sent(), Strings{Frame(0xAA, {1, 0x02})});
    EXPECT_FALSE(w_->tbMasterRight->isEnabled());
    EXPECT_TRUE(w_->btnMasterR->isHidden());
    EXPECT_EQ(w_->btnMasterL->x(), w_->btnMasterGanged->x());
    Drag(w_->tbMasterLeft, 50);
    EXPECT_EQ(w_->tbMasterRight->Position(), 45);
    EXPECT_EQ(Sent(), Strings{Frame(0xA2, {50, 0x03})});
    QTest::mouseClick(w_->btnMasterGanged, Qt::LeftButton);
    EXPECT_EQ(Sent(), Strings{Frame(0xAA, {0, 0x02})});
    EXPECT_TRUE(w_->tbMasterRight->isEnabled());
    EXPECT_FALSE(w_->btnMasterR->isHidden());
    EXPECT_EQ(w_->btnMasterL->x(), w_->edMasterLeft->x());
}

TEST_F(OutputActions, TypedLevelMovesOnlyTheLeftOfAGangedPair)
{
    GangSub(10, 20);
    Enter(w_->edSubLeft, QStringLiteral("-10"));
    EXPECT_EQ(w_->tbSubLeft->Position(), 20);
    EXPECT_EQ(w_->tbSubRight->Position(), 20);
    EXPECT_EQ(Sent(), Strings{Frame(0xA2, {20, 0x01})});
}

TEST_F(OutputActions, GangingWithOnlyTheRightMutedMutesBoth)
{
    GangSub(10, 20, false, true);
    EXPECT_TRUE(IsPressed(w_->btnSubL));
    EXPECT_TRUE(IsPressed(w_->btnSubR));
    EXPECT_TRUE(w_->btnSubR->isHidden());
    EXPECT_EQ(w_->pgbSubLeft->value(), 0);
    EXPECT_EQ(w_->pgbSubRight->value(), 0);
    EXPECT_EQ(w_->edSubLeft->text(), "mute");
    EXPECT_EQ(w_->edSubRight->text(), "mute");
    EXPECT_EQ(w_->btnSubL->x(), w_->btnSubGanged->x());
}

TEST_F(OutputActions, UngangingWithTheLeftMutedShowsTheRightMuted)
{
    GangSub(10, 20, true, false);
    QTest::mouseClick(w_->btnSubGanged, Qt::LeftButton);
    EXPECT_FALSE(w_->SubGanged);
    EXPECT_FALSE(w_->btnSubR->isHidden());
    EXPECT_TRUE(IsPressed(w_->btnSubR));
    EXPECT_TRUE(w_->tbSubRight->isEnabled());
    EXPECT_EQ(w_->btnSubL->x(), w_->edSubLeft->x());
    EXPECT_EQ(Sent(), Strings{Frame(0xAA, {0, 0x01})});
}

TEST_F(OutputActions, UnmutingTheGangedLeftRewritesTheRightInWholeDecibels)
{
    GangSub(10, 25, true, false);
    ASSERT_EQ(w_->edSubLeft->text(), "mute");
    QTest::mouseClick(w_->btnSubL, Qt::LeftButton);
    EXPECT_FALSE(IsPressed(w_->btnSubL));
    EXPECT_EQ(w_->pgbSubLeft->value(), 69);
    EXPECT_EQ(w_->pgbSubRight->value(), 54);
    EXPECT_EQ(w_->edSubRight->text(), "-12dB");
    EXPECT_EQ(w_->edSubLeft->text(), "mute") << "the left box waits for the device";
    EXPECT_EQ(Sent(), Strings{Frame(0xAE, {0, 0x01})});
}

TEST_F(OutputActions, MutingTheGangedLeftCoversBoth)
{
    GangSub(10, 25);
    QTest::mouseClick(w_->btnSubL, Qt::LeftButton);
    EXPECT_TRUE(IsPressed(w_->btnSubL));
    EXPECT_EQ(w_->pgbSubLeft->value(), 0);
    EXPECT_EQ(w_->pgbSubRight->value(), 0);
    EXPECT_EQ(w_->edSubLeft->text(), "mute");
    EXPECT_EQ(w_->edSubRight->text(), "mute");
    EXPECT_EQ(Sent(), Strings{Frame(0xAE, {1, 0x01})});
}

TEST_F(OutputActions, IndependentRightMuteTouchesOnlyItsOwnStrip)
{
    Connect([](sim::DeviceState& s) {
        s.live.stereoGain[3] = 12;
        s.live.stereoGain[4] = 30;
    });
    const int leftBar = w_->pgbMasterLeft->value();
    const QString leftText = w_->edMasterLeft->text();
    QTest::mouseClick(w_->btnMasterR, Qt::LeftButton);
    EXPECT_EQ(w_->pgbMasterRight->value(), 0);
    EXPECT_EQ(w_->edMasterRight->text(), "mute");
    EXPECT_EQ(w_->pgbMasterLeft->value(), leftBar);
    EXPECT_EQ(w_->edMasterLeft->text(), leftText);
    EXPECT_FALSE(IsPressed(w_->btnMasterL));
    EXPECT_EQ(Sent(), Strings{Frame(0xAE, {1, 0x04})});
    QTest::mouseClick(w_->btnMasterR, Qt::LeftButton);
    EXPECT_EQ(w_->pgbMasterRight->value(), 49);
    EXPECT_EQ(w_->pgbMasterLeft->value(), leftBar);
    EXPECT_EQ(Sent(), Strings{Frame(0xAE, {0, 0x04})});
}

}  // namespace
