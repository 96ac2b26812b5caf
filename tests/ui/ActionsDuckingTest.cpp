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

TEST_F(DuckingActions, SourceButtonsSendTheirSourceAndWaitForTheReport)
{
    Connect([](sim::DeviceState& s) { s.live.lineSource = 1; });
    struct Case {
        QPushButton* button;
        std::uint8_t source;
        int lamp;
    };
    const Case cases[] = {
        {w_->btnType, 2, 1}, {w_->btnCD, 3, 2}, {w_->btnAux, 4, 3}, {w_->btnOff, 0, 4}, {w_->btnTuner, 1, 0},
    };
    int lit = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        QTest::mouseClick(c.button, Qt::LeftButton);
        // The click itself changes no lamp.
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(w_->LinePanel[i]->Color(), i == lit ? clLime : clGreen) << "lamp " << i;
        }
        EXPECT_EQ(Sent(), Strings{Frame(0xA1, {c.source})});
        // The device's report lights the lamp.
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(w_->LinePanel[i]->Color(), i == c.lamp ? clLime : clGreen) << "lamp " << i;
        }
        lit = c.lamp;
    }
}

TEST_F(DuckingActions, ManualDuckingTogglesFromThePanelAndBothLabels)
{
    Connect();
    ASSERT_FALSE(IsPressed(w_->panMaunduck));
    QTest::mouseClick(w_->lblManual, Qt::LeftButton);
    EXPECT_TRUE(IsPressed(w_->panMaunduck));
    EXPECT_EQ(Sent(), Strings{Frame(0xA8, {2})});
    EXPECT_TRUE(device_->State().live.manualDucking);

    QTest::mouseClick(w_->Label48, Qt::LeftButton);
    EXPECT_FALSE(IsPressed(w_->panMaunduck));
    EXPECT_EQ(Sent(), Strings{Frame(0xA8, {0})});
    EXPECT_FALSE(device_->State().live.manualDucking);

    QTest::mouseClick(w_->panMaunduck, Qt::LeftButton);
    EXPECT_TRUE(IsPressed(w_->panMaunduck));
    EXPECT_EQ(Sent(), Strings{Frame(0xA8, {2})});
}

// Preference faders moved by the user: the command, the box in its unit and
// the hint.
TEST_F(DuckingActions, PreferenceFadersSendUnderTheFocusRule)
{
    Connect();
    ShowTab(w_->tabPreferences);
    struct Case {
        TrhTrackBar* fader;
        int position;
        std::string frame;
        QLineEdit* edit;
        const char* text;
        const char* hint;
    };
    const Case cases[] = {
        {w_->tbThreshold, 86, Frame(0xB2, {0x2B}), w_->edThreshold, "927", "927"},
        {w_->tbThreshold, 127, Frame(0xB2, {0x02}), w_->edThreshold, "43", "43"},
        {w_->tbAttenuation, 30, Frame(0xB3, {30}), w_->edAttenuation, "30", "30"},
        {w_->tbHoldTime, 20, Frame(0xB4, {20}), w_->edHoldtime, "200", "20"},
        {w_->tbFadeOut, 7, Frame(0xB5, {7}), nullptr, nullptr, "7"},
        {w_->tbFadeIn, 63, Frame(0xB6, {63}), nullptr, nullptr, "63"},
        {w_->tbFadeIn, 0, Frame(0xB6, {0}), nullptr, nullptr, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fader->objectName().toStdString() + " to " + std::to_string(c.position));
        Drag(c.fader, c.position);
        EXPECT_EQ(Sent(), Strings{c.frame});
        if (c.edit != nullptr) {
            EXPECT_EQ(c.edit->text(), c.text);
        }
        EXPECT_EQ(c.fader->toolTip(), c.hint);
    }
}

TEST_F(DuckingActions, ReportedPreferencesRewriteTheBoxesButSendNothing)
{
    Connect();
    ShowTab(w_->tabPreferences);
    FocusElsewhere();
    sim::DeviceState state = device_->State();
    state.live.holdTime = 37;
    state.live.threshold = 43;
    state.live.attenuation = 5;
    device_->SetState(state);
    w_->RequestFullState();
    Drain();
    EXPECT_EQ(w_->tbHoldTime->Position(), 37);
    EXPECT_EQ(w_->edHoldtime->text(), "370");
    EXPECT_EQ(w_->edThreshold->text(), "927");
    EXPECT_EQ(w_->edAttenuation->text(), "5");
    EXPECT_EQ(Sent(), FullStateFrames());
}

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

// The box shows what the device now holds even when the fader was already
// there and so did not rewrite it.
TEST_F(DuckingActions, EntryShowsTheDeviceValueWhenTheFaderStays)
{
    Connect([](sim::DeviceState& s) {
        s.live.holdTime = 1;
        s.live.threshold = 127;
        s.live.attenuation = 79;
    });
    ShowTab(w_->tabPreferences);
    ASSERT_EQ(w_->tbHoldTime->Position(), 1);
    ASSERT_EQ(w_->tbThreshold->Position(), 2);
    ASSERT_EQ(w_->tbAttenuation->Position(), 79);
    Enter(w_->edHoldtime, QStringLiteral("5"));
    EXPECT_EQ(w_->edHoldtime->text(), "10");
    EXPECT_EQ(Sent(), Strings{Frame(0xB4, {1})});
    Enter(w_->edThreshold, QStringLiteral("5000"));
    EXPECT_EQ(w_->edThreshold->text(), "2739");
    EXPECT_EQ(Sent(), Strings{Frame(0xB2, {127})});
    Enter(w_->edAttenuation, QStringLiteral("250"));
    EXPECT_EQ(w_->edAttenuation->text(), "79");
    EXPECT_EQ(Sent(), Strings{Frame(0xB3, {79})});
}

TEST_F(DuckingActions, LeavingAPreferenceBoxDiscardsTheTypedValue)
{
    Connect();
    ShowTab(w_->tabPreferences);
    for (QLineEdit* edit : {w_->edThreshold, w_->edAttenuation, w_->edHoldtime}) {
        Focus(edit);
        edit->setText(QStringLiteral("77"));
    }
    FocusElsewhere();
    EXPECT_EQ(w_->edThreshold->text(), "1100");
    EXPECT_EQ(w_->edAttenuation->text(), "20");
    EXPECT_EQ(w_->edHoldtime->text(), "500");
    EXPECT_EQ(Sent(), Strings{});
}

}  // namespace
