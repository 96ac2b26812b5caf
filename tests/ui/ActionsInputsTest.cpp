// Mute and unmute of an input strip against the simulated device: what the
// strip shows at once and the frame that goes out, per ducking situation.
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

}  // namespace
