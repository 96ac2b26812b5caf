// Presets, the switch-on setting and the factory default.
#include "ActionsFixture.h"

#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "Rhtrack.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

using Strings = std::vector<std::string>;

Strings Concat(Strings head, const Strings& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class PresetActions : public ActionsFixture {
protected:
    // Pressed state of swOff, swPreset1, swPreset2, swPreset3.
    std::vector<bool> Look() const
    {
        return {IsPressed(w_->swOff), IsPressed(w_->swPreset[1]), IsPressed(w_->swPreset[2]),
                IsPressed(w_->swPreset[3])};
    }
    void ClickSwitchOn(TPanel* panel)
    {
        QTest::mouseClick(panel, Qt::LeftButton);
    }
};

TEST_F(PresetActions, LoadingAPresetRereadsTheWholeState)
{
    Connect([](sim::DeviceState& s) { s.presets[2].micGain[0] = 44; });
    w_->cbPresetNo->setCurrentIndex(2);
    QTest::mouseClick(w_->btnLoad, Qt::LeftButton);
    EXPECT_EQ(Sent(), Concat({Frame(0xAB, {3, 0})}, FullStateFrames()));
    EXPECT_EQ(w_->tbMic[1]->Position(), 44) << "the panel shows what the preset held";
}

TEST_F(PresetActions, SwitchOnClicksSendOnlyForANewChoice)
{
    Connect();
    ShowTab(w_->tabCOM);
    ASSERT_EQ(Look(), (std::vector<bool>{true, false, false, false}));
    // Sent although swOff already looks pressed: nothing was chosen yet.
    ClickSwitchOn(w_->swOff);
    EXPECT_EQ(Look(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {0})});
    // The same panel again only toggles its look.
    ClickSwitchOn(w_->swOff);
    EXPECT_EQ(Look(), (std::vector<bool>{false, false, false, false}));
    ClickSwitchOn(w_->swOff);
    EXPECT_EQ(Look(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(Sent(), Strings{});
    EXPECT_EQ(TfrmMain::SwitchOnSelection(), 0);

    ClickSwitchOn(w_->swPreset[1]);
    EXPECT_EQ(Look(), (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {1})});
    EXPECT_EQ(device_->State().switchOn, 1);
}

TEST_F(PresetActions, ReportedSwitchOnStateDoesNotChangeTheRememberedChoice)
{
    Connect();
    ShowTab(w_->tabCOM);
    ClickSwitchOn(w_->swPreset[2]);
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {2})});

    // The device is set to 3 behind the panel's back and reports it.
    sim::DeviceState state = device_->State();
    state.switchOn = 3;
    device_->SetState(state);
    w_->RequestFullState();
    EXPECT_EQ(Sent(), FullStateFrames());
    EXPECT_EQ(Look(), (std::vector<bool>{false, false, false, true}));

    // Still the remembered choice: nothing sent, shown pressed beside 3.
    ClickSwitchOn(w_->swPreset[2]);
    EXPECT_EQ(Look(), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(Sent(), Strings{});
    ClickSwitchOn(w_->swPreset[3]);
    EXPECT_EQ(Look(), (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {3})});
}

TEST_F(PresetActions, WithoutAConnectionNothingIsSentButTheLookChanges)
{
    StartDevice();
    BuildWindow();  // never shown: never connected
    ASSERT_EQ(w_->Comm, nullptr);
    dialogs_->answers = {TDialogs::Answer::Ok};
    w_->btnFactoryClick();
    w_->btnLoadClick(w_->btnLoad);
    w_->swPreset1Click(w_->swPreset[2]);
    EXPECT_EQ(dialogs_->asked.size(), 1u) << "the warning is still shown";
    EXPECT_EQ(Look(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(TfrmMain::SwitchOnSelection(), 2);
    // The sender drops commands at once without a connection.
    EXPECT_EQ(device_->ReceivedCount(), 0u);
    EXPECT_TRUE(LogLines().isEmpty());
}

// The factory-default warning in both languages, confirmed or not.
struct FactoryCase {
    const char* name;
    bool german;
    TDialogs::Answer answer;
    const char* caption;
    const char* text;
    const char* cancel;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FactoryCase& c, std::ostream* os)
{
    *os << c.name;
}

class FactoryDefault : public PresetActions, public testing::WithParamInterface<FactoryCase> {};

TEST_P(FactoryDefault, Warning)
{
    const FactoryCase& c = GetParam();
    Connect([](sim::DeviceState& s) { s.presets[0].micGain[0] = 70; });
    ShowTab(w_->tabCOM);
    if (c.german) {
        // On the round indicator at the item's left end.
        QWidget* german = w_->rdgLanguage->Button(0);
        QTest::mouseClick(german, Qt::LeftButton, {}, QPoint(6, german->height() / 2));
        ASSERT_EQ(LanguageFlag(), kLanguageGerman);
    }
    dialogs_->answers = {c.answer};
    QTest::mouseClick(w_->btnFactory, Qt::LeftButton);
    ASSERT_EQ(dialogs_->asked.size(), 1u);
    EXPECT_EQ(dialogs_->asked[0].kind, "WarningOkCancel");
    EXPECT_EQ(dialogs_->asked[0].caption, c.caption);
    EXPECT_EQ(dialogs_->asked[0].text, c.text);
    EXPECT_EQ(dialogs_->asked[0].cancelCaption, c.cancel);
    if (c.answer == TDialogs::Answer::Ok) {
        EXPECT_EQ(Sent(), Concat({Frame(0xB8, {0}), Frame(0xAB, {0, 0})}, FullStateFrames()));
        EXPECT_EQ(device_->State().presets[0], sim::Settings::Factory());
    } else {
        EXPECT_EQ(Sent(), Strings{});
        EXPECT_EQ(device_->State().presets[0].micGain[0], 70);
    }
}

constexpr const char* kEnglishText = "All Preset will be delete !! \nDo you want to continue?";
constexpr const char* kGermanText = "Alle Einstellungen werden geloscht! \nWollen Sie fortfahren?";

INSTANTIATE_TEST_SUITE_P(
    Table, FactoryDefault,
    testing::Values(
        FactoryCase{"EnglishOk", false, TDialogs::Answer::Ok, "Warning", kEnglishText, "Cancel"},
        FactoryCase{"EnglishCancel", false, TDialogs::Answer::Cancel, "Warning", kEnglishText, "Cancel"},
        FactoryCase{"GermanOk", true, TDialogs::Answer::Ok, "Warnung", kGermanText, "Abbrechen"},
        FactoryCase{"GermanCancel", true, TDialogs::Answer::Cancel, "Warnung", kGermanText, "Abbrechen"}),
    [](const testing::TestParamInfo<FactoryCase>& info) { return std::string(info.param.name); });

}  // namespace
