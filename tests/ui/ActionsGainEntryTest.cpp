// Levels typed into the gain edit boxes: Enter sends the level, anything
// invalid restores the box from its fader, leaving the box discards.
#include "ActionsFixture.h"

#include "Rhtrack.h"

#include <QLineEdit>
#include <QTest>

namespace {

using Strings = std::vector<std::string>;

struct GainCase {
    const char* name;
    QString typed;
    int position;      // of tbMic3 afterwards (it starts at 20, -10dB)
    const char* text;  // of edMic3 afterwards
    bool sends;        // CM_MCS_MIC (position, 0x12)
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const GainCase& c, std::ostream* os)
{
    *os << c.name;
}

class GainEntry : public ActionsFixture, public testing::WithParamInterface<GainCase> {};

TEST_P(GainEntry, EnterInEdMic3)
{
    const GainCase& c = GetParam();
    Connect();
    ASSERT_EQ(w_->tbMic[3]->Position(), 20);
    Enter(w_->edMic[3], c.typed);
    EXPECT_EQ(w_->tbMic[3]->Position(), c.position);
    EXPECT_EQ(w_->edMic[3]->text().toStdString(), c.text);
    const auto position = static_cast<std::uint8_t>(c.position);
    EXPECT_EQ(Sent(), c.sends ? Strings{Frame(0xA3, {position, 0x12})} : Strings{});
    EXPECT_EQ(w_->LastSent[kLastMic1 + 2], -1) << "an entry is not a fader move of the user";
    EXPECT_EQ(device_->State().live.micGain[2], c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GainEntry,
    testing::Values(GainCase{"WithUnit", "-12.5dB", 25, "-12.5dB", true},
                    GainCase{"WithoutUnit", "-12.5", 25, "-12.5dB", true},
                    GainCase{"UnitLower", "-12.5db", 25, "-12.5dB", true},
                    GainCase{"UnitUpper", "-12.5DB", 25, "-12.5dB", true},
                    GainCase{"UnitMixed", "-12.5Db", 25, "-12.5dB", true},
                    GainCase{"PositiveClampsToZero", "5", 0, "0dB", true},
                    GainCase{"PlusSign", "+3", 0, "0dB", true},
                    GainCase{"BelowScaleClamps", "-80", 79, "mute", true},
                    GainCase{"BelowLastStepIsMute", "-77", 79, "mute", true},
                    GainCase{"DotAfterSign", "-.5", 1, "-0.5dB", true},
                    GainCase{"UnchangedTextSendsAgain", "-10dB", 20, "-10dB", true},
                    GainCase{"BlankBeforeUnit", "-6 dB", 20, "-10dB", false},
                    GainCase{"TwoSigns", "--6", 20, "-10dB", false},
                    GainCase{"TrailingSign", "6-", 20, "-10dB", false},
                    GainCase{"TextAfterUnit", "-6dBx", 20, "-10dB", false},
                    GainCase{"HalfUnit", "-6d", 20, "-10dB", false},
                    GainCase{"TwoDots", "1.2.3", 20, "-10dB", false},
                    GainCase{"Comma", "-6,5", 20, "-10dB", false},
                    GainCase{"SignAlone", "-", 20, "-10dB", false},
                    GainCase{"SignAndUnit", "-dB", 20, "-10dB", false},
                    GainCase{"InitialText", "0dB ", 20, "-10dB", false},
                    GainCase{"Mute", "mute", 20, "-10dB", false},
                    // Starts with a dot and is invalid: like any invalid entry,
                    // the fader stays where the device has it.
                    GainCase{"LeadingDotInvalid", ".x", 20, "-10dB", false},
                    GainCase{"LeadingDotAndUnitOnly", ".dB", 20, "-10dB", false},
                    GainCase{"Empty", "", 20, "", false}),
    [](const testing::TestParamInfo<GainCase>& info) { return std::string(info.param.name); });

}  // namespace
