// Line source, manual ducking and the ducking preferences tab.
#include "ActionsFixture.h"

#include "Colors.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

using Strings = std::vector<std::string>;

class DuckingActions : public ActionsFixture {};

struct PrefCase {
    const char* name;
    int box;  // edit box tag: 1 threshold, 2 attenuation, 3 hold time
    QString typed;
    const char* text;
    int position;
    int sent;  // payload byte, -1: nothing
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PrefCase& c, std::ostream* os)
{
    *os << c.name;
}

class PreferenceEntry : public ActionsFixture, public testing::WithParamInterface<PrefCase> {};

TEST_P(PreferenceEntry, Enter)
{
    const PrefCase& c = GetParam();
    // threshold step 51 (1100 mV, position 78), attenuation 20, hold 500 ms.
    Connect();
    ShowTab(w_->tabPreferences);
    QLineEdit* edit = c.box == 1 ? w_->edThreshold : c.box == 2 ? w_->edAttenuation : w_->edHoldtime;
    TrhTrackBar* fader = c.box == 1 ? w_->tbThreshold : c.box == 2 ? w_->tbAttenuation : w_->tbHoldTime;
    const std::uint8_t sub = c.box == 1 ? 0xB2 : c.box == 2 ? 0xB3 : 0xB4;
    Enter(edit, c.typed);
    EXPECT_EQ(edit->text().toStdString(), c.text);
    EXPECT_EQ(fader->Position(), c.position);
    EXPECT_EQ(Sent(), c.sent < 0 ? Strings{} : Strings{Frame(sub, {static_cast<std::uint8_t>(c.sent)})});
}

INSTANTIATE_TEST_SUITE_P(
    Table, PreferenceEntry,
    testing::Values(PrefCase{"ThresholdTakesTheStepBelow", 1, "100", "86", 125, 4},
                    PrefCase{"ThresholdExactStep", 1, "1100", "1100", 78, 51},
                    PrefCase{"ThresholdAboveRange", 1, "5000", "2739", 2, 127},
                    PrefCase{"ThresholdBelowRange", 1, "10", "43", 127, 2},
                    PrefCase{"ThresholdNegative", 1, "-5", "43", 127, 2},
                    PrefCase{"ThresholdFractionDropped", 1, "100.9", "86", 125, 4},
                    PrefCase{"ThresholdOnlyFirstDotCounts", 1, "1.2.3", "43", 127, 2},
                    PrefCase{"ThresholdLeadingDot", 1, ".5", "43", 127, 2},
                    PrefCase{"HoldTimeWholeTens", 3, "555", "550", 55, 55},
                    PrefCase{"HoldTimeBelowRange", 3, "5", "10", 1, 1},
                    PrefCase{"HoldTimeAboveRange", 3, "2000", "1000", 100, 100},
                    PrefCase{"AttenuationAboveRange", 2, "80", "79", 79, 79},
                    PrefCase{"AttenuationInRange", 2, "+7", "7", 7, 7},
                    PrefCase{"LetterInvalid", 1, "12a", "1100", 78, -1},
                    PrefCase{"InnerSignInvalid", 3, "1-2", "500", 50, -1},
                    PrefCase{"TrailingSignInvalid", 2, "3+", "20", 20, -1},
                    PrefCase{"SignAloneRestores", 2, "-", "20", 20, -1},
                    PrefCase{"EmptyChangesNothing", 3, "", "", 50, -1}),
    [](const testing::TestParamInfo<PrefCase>& info) { return std::string(info.param.name); });

}  // namespace
