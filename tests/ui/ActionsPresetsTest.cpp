// Presets, the switch-on setting and the factory default.
#include "ActionsFixture.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

Strings Concat(Strings head, const Strings& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class Presets : public ActionsFixture {
protected:
    // Clicks a switch-on panel; then the pressed look of swOff, swPreset1..3.
    std::string Click(TPanel* panel)
    {
        QTest::mouseClick(panel, Qt::LeftButton);
        std::string look;
        for (TPanel* p : {w_->swOff, w_->swPreset[1], w_->swPreset[2], w_->swPreset[3]}) {
            look += IsPressed(p) ? '1' : '0';
        }
        return look;
    }
};

TEST_F(Presets, LoadingAPresetRereadsTheWholeState)
{
    Connect([](sim::DeviceState& s) { s.presets[2].micGain[0] = 44; });
    w_->cbPresetNo->setCurrentIndex(2);
    QTest::mouseClick(w_->btnLoad, Qt::LeftButton);
    EXPECT_EQ(Sent(), Concat({Frame(0xAB, {3, 0})}, FullStateFrames()));
    EXPECT_EQ(w_->tbMic[1]->Position(), 44);
}

// A switch-on panel sends only a new choice; the state the device reports is
// shown beside the remembered choice but does not replace it.
TEST_F(Presets, SwitchOnSendsOnlyANewChoice)
{
    Connect();
    ShowTab(w_->tabCOM);
    EXPECT_EQ(Click(w_->swOff), "1000");  // sent although it looked pressed: nothing was chosen yet
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {0})});
    EXPECT_EQ(Click(w_->swOff), "0000");
    EXPECT_EQ(Click(w_->swOff), "1000");
    EXPECT_EQ(Sent(), Strings{});
    EXPECT_EQ(Click(w_->swPreset[2]), "0010");
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {2})});

    sim::DeviceState state = device_->State();
    state.switchOn = 3;
    device_->SetState(state);
    w_->RequestFullState();
    EXPECT_EQ(Sent(), FullStateFrames());
    EXPECT_EQ(Click(w_->swPreset[2]), "0011");
    EXPECT_EQ(Sent(), Strings{});
    EXPECT_EQ(Click(w_->swPreset[3]), "0001");
    EXPECT_EQ(Sent(), Strings{Frame(0xB7, {3})});
    EXPECT_EQ(device_->State().switchOn, 3);
}

// Only an OK resets the presets, and then the whole state is read again (the
// question's language is the language tests' concern). Without a connection
// the question is still asked and the switch-on choice still remembered.
TEST_F(Presets, FactoryDefaultAsksFirst)
{
    Connect([](sim::DeviceState& s) { s.presets[0].micGain[0] = 70; });
    ShowTab(w_->tabCOM);
    const sim::Settings before = device_->State().presets[0];
    for (const TDialogs::Answer answer : {TDialogs::Answer::Cancel, TDialogs::Answer::Ok}) {
        const bool ok = answer == TDialogs::Answer::Ok;
        SCOPED_TRACE(ok);
        dialogs_->asked.clear();
        dialogs_->answers = {answer};
        QTest::mouseClick(w_->btnFactory, Qt::LeftButton);
        ASSERT_EQ(dialogs_->asked.size(), 1u);
        EXPECT_EQ(dialogs_->asked[0].kind, "WarningOkCancel");
        EXPECT_EQ(Sent(), ok ? Concat({Frame(0xB8, {0}), Frame(0xAB, {0, 0})}, FullStateFrames()) : Strings{});
        EXPECT_EQ(device_->State().presets[0], ok ? sim::Settings::Factory() : before);
    }

    StartDevice();
    BuildWindow();  // never shown: never connected
    dialogs_->answers = {TDialogs::Answer::Ok};
    w_->btnFactoryClick();
    w_->swPreset1Click(w_->swPreset[2]);
    EXPECT_EQ(dialogs_->asked.size(), 1u);
    EXPECT_EQ(TfrmMain::SwitchOnSelection(), 2);
    EXPECT_EQ(device_->ReceivedCount(), 0u);
}

}  // namespace
