// Input strips against the simulated device: faders under the focus rule,
// mute and priority panels, and typed levels.
#include "ActionsFixture.h"

#include "Colors.h"
#include "Mroutine.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

namespace {

using Strings = std::vector<std::string>;

class InputActions : public ActionsFixture {};

TEST_F(InputActions, FocusedFaderSendsEveryNewPosition)
{
    Connect();  // every microphone at 20
    TrhTrackBar* fader = w_->tbMic[3];
    Focus(fader);
    // Down moves a vertical fader toward mute, one step at a time.
    QTest::keyClick(fader, Qt::Key_Down);
    ASSERT_EQ(fader->Position(), 21);
    EXPECT_EQ(Sent(), Strings{Frame(0xA3, {21, 0x12})});
    EXPECT_EQ(fader->toolTip(), "-10.5");
    QTest::keyClick(fader, Qt::Key_End);
    ASSERT_EQ(fader->Position(), 79);
    EXPECT_EQ(Sent(), Strings{Frame(0xA3, {79, 0x12})});
    EXPECT_EQ(fader->toolTip(), "mute");
    EXPECT_EQ(w_->LastSent[kLastMic1 + 2], 79);
    EXPECT_EQ(device_->State().live.micGain[2], 79);
}

TEST_F(InputActions, ProgrammaticMoveSendsNothingButRefreshesTheHint)
{
    Connect();
    FocusElsewhere();
    w_->tbMic[2]->SetPosition(50);
    w_->tbLine->SetPosition(79);
    w_->tbMasterRight->SetPosition(3);
    EXPECT_EQ(Sent(), Strings{});
    EXPECT_EQ(w_->tbMic[2]->toolTip(), "-34");
    EXPECT_EQ(w_->tbLine->toolTip(), "mute");
    EXPECT_EQ(w_->tbMasterRight->toolTip(), "-1.5");
}

// Mute and unmute of an input: the bar and text at once, then the command.
struct MuteCase {
    const char* name;
    int mic;  // 0: the line
    int fader;
    bool muted;
    bool manualDucking;
    bool duckingActive;  // as the device's ducking report would leave it
    bool priority;
    int attenuation;
    int bar;
    std::string text;
    std::string frame;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MuteCase& c, std::ostream* os)
{
    *os << c.name;
}

class InputMute : public ActionsFixture, public testing::WithParamInterface<MuteCase> {};

TEST_P(InputMute, PanelClick)
{
    const MuteCase& c = GetParam();
    Connect([&](sim::DeviceState& s) {
        if (c.mic > 0) {
            s.live.micGain[c.mic - 1] = static_cast<std::uint8_t>(c.fader);
            s.live.micMute[c.mic - 1] = c.muted;
            s.live.priority[c.mic - 1] = c.priority;
        } else {
            s.live.stereoGain[0] = static_cast<std::uint8_t>(c.fader);
            s.live.stereoMute[0] = c.muted;
        }
        s.live.manualDucking = c.manualDucking;
        s.live.attenuation = static_cast<std::uint8_t>(c.attenuation);
    });
    TPanel* panel = c.mic > 0 ? w_->Panel[c.mic] : w_->btnLine;
    QProgressBar* bar = c.mic > 0 ? w_->pgbMic[c.mic] : w_->pgbLine;
    QLineEdit* edit = c.mic > 0 ? w_->edMic[c.mic] : w_->edLine;
    ASSERT_EQ(IsPressed(panel), c.muted);
    ASSERT_EQ(IsPressed(w_->panMaunduck), c.manualDucking);
    ASSERT_EQ(w_->tbAttenuation->Position(), c.attenuation);
    w_->DuckingActive = c.duckingActive;

    QTest::mouseClick(panel, Qt::LeftButton);
    // Checked before any reply is handled: this is the click's own doing.
    EXPECT_EQ(IsPressed(panel), !c.muted);
    EXPECT_EQ(bar->value(), c.bar);
    EXPECT_EQ(edit->text().toStdString(), c.text);
    EXPECT_EQ(Sent(), Strings{c.frame});
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputMute,
    testing::Values(
        MuteCase{"MuteMic2", 2, 10, false, false, false, false, 20, 0, "mute", Frame(0xAE, {1, 0x11})},
        MuteCase{"UnmuteMic2ManualDucking", 2, 10, true, true, false, false, 20, 49, "-15dB",
                 Frame(0xAE, {0, 0x11})},
        MuteCase{"UnmuteMic2ReportedDucking", 2, 10, true, false, true, false, 20, 49, "-15dB",
                 Frame(0xAE, {0, 0x11})},
        MuteCase{"UnmuteMic2PriorityNotDucked", 2, 10, true, true, false, true, 20, 69, "-5dB",
                 Frame(0xAE, {0, 0x11})},
        MuteCase{"UnmuteMic5NoDucking", 5, 25, true, false, false, false, 20, 54, "-12.5dB",
                 Frame(0xAE, {0, 0x14})},
        MuteCase{"UnmuteDuckedBelowZeroShowsMute", 6, 70, true, true, false, false, 20, 0, "mute",
                 Frame(0xAE, {0, 0x15})},
        MuteCase{"MuteLine", 0, 10, false, true, false, false, 20, 0, "mute", Frame(0xAE, {1, 0x00})},
        MuteCase{"UnmuteLineAlwaysDucked", 0, 10, true, true, false, false, 30, 39, "-24dB",
                 Frame(0xAE, {0, 0x00})},
        MuteCase{"UnmuteLineNoDucking", 0, 10, true, false, false, false, 30, 69, "-5dB",
                 Frame(0xAE, {0, 0x00})}),
    [](const testing::TestParamInfo<MuteCase>& info) { return std::string(info.param.name); });

// Priority: the lamp goes olive when priority is taken, and lights only when
// it is given up while the device reports ducking in effect.
struct PriorityCase {
    const char* name;
    bool priority;
    bool duckingActive;
    TColor lampBefore;
    TColor lampAfter;
    std::string frame;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PriorityCase& c, std::ostream* os)
{
    *os << c.name;
}

class InputPriority : public ActionsFixture, public testing::WithParamInterface<PriorityCase> {};

TEST_P(InputPriority, PanelClick)
{
    const PriorityCase& c = GetParam();
    Connect([&](sim::DeviceState& s) { s.live.priority[1] = c.priority; });
    ASSERT_EQ(IsPressed(w_->btnduck[2]), c.priority);
    w_->DuckingActive = c.duckingActive;
    w_->panduck[2]->SetColor(c.lampBefore);
    const int bar = w_->pgbMic[2]->value();

    QTest::mouseClick(w_->btnduck[2], Qt::LeftButton);
    EXPECT_EQ(IsPressed(w_->btnduck[2]), !c.priority);
    EXPECT_EQ(w_->panduck[2]->Color(), c.lampAfter);
    EXPECT_EQ(w_->pgbMic[2]->value(), bar) << "the level is not recomputed";
    EXPECT_EQ(Sent(), Strings{c.frame});
    EXPECT_EQ(device_->State().live.priority[1], !c.priority);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputPriority,
    testing::Values(PriorityCase{"TakeWhileDucking", false, true, clYellow, clOlive,
                                 Frame(0xA9, {1, 0x11})},
                    PriorityCase{"TakeWhileQuiet", false, false, clOlive, clOlive,
                                 Frame(0xA9, {1, 0x11})},
                    PriorityCase{"GiveUpWhileDucking", true, true, clOlive, clYellow,
                                 Frame(0xA9, {0, 0x11})},
                    PriorityCase{"GiveUpWhileQuietLeavesTheLamp", true, false, clYellow, clYellow,
                                 Frame(0xA9, {0, 0x11})}),
    [](const testing::TestParamInfo<PriorityCase>& info) { return std::string(info.param.name); });

}  // namespace
