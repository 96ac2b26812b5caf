// Faults of the device and the line, end to end: the simulator misbehaves,
// the real driver and window must cope without crashing or losing anything.
#include "Commands.h"
#include "Connection.h"
#include "Hex.h"
#include "Language.h"
#include "Panel.h"
#include "PanelFixture.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

class Faults : public PanelFixture {
protected:
    void ConnectWithShortSilence()
    {
        StartDevice();
        BuildWindow();
        w_->Device().SetSilenceLimitMs(400);
        ShowAndConnect();
    }
    std::size_t Boxes() const { return dialogs_->asked.size(); }
};

TEST_F(Faults, UnpluggedDeviceGivesOneBoxAndRetryReconnectsWhenItIsBack)
{
    ConnectWithShortSilence();
    dialogs_->answers = {TDialogs::Answer::Retry};
    dialogs_->whileOpen = [&] {
        ASSERT_FALSE(device_->Reappear().empty());
        ClearReceived();
    };
    device_->Vanish();
    ASSERT_TRUE(WaitFor([&] { return Boxes() == 1; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 49; }, 5000));
    EXPECT_EQ(ToHex(device_->Received()[0]), "10 02 01 03 AF 01 00 10 03 AD");
    EXPECT_EQ(Status(0), "COM1 connected");
    QTest::qWait(300);
    EXPECT_EQ(Boxes(), 1u) << "one vanished port, one box";
}

TEST_F(Faults, NoiseBetweenFramesIsDropped)
{
    ConnectWithShortSilence();
    device_->SetFault({sim::FaultKind::Noise, 9, -1});
    w_->btnTunerClick(w_->btnAux);
    ASSERT_TRUE(WaitFor([&] { return w_->LinePanel[3]->Color() == clLime; }, 3000));
    w_->Panel1Click(w_->Panel[4]);
    ASSERT_TRUE(WaitForFrame("10 02 01 03 AE 01 13 10 03 BF"));
    Settle();
    EXPECT_TRUE(IsPressed(w_->Panel[4]));
    EXPECT_EQ(device_->State().live.micMute[3], true);
    EXPECT_TRUE(dialogs_->asked.empty());
}

TEST_F(Faults, ReplyCutShortEndsInSilenceThenACleanReconnect)
{
    ConnectWithShortSilence();
    dialogs_->answers = {TDialogs::Answer::Retry};
    dialogs_->whileOpen = [&] { ClearReceived(); };
    device_->SetFault({sim::FaultKind::Truncate, 4, 1});
    w_->btnTunerClick(w_->btnCD);
    ASSERT_TRUE(WaitFor([&] { return Boxes() == 1; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 50; }, 5000));
    Settle();
    EXPECT_EQ(w_->LinePanel[2]->Color(), clLime) << "the reconnect read the source the device took";
}

TEST_F(Faults, NakBusyAndErrorAreShownAndNothingIsLost)
{
    ConnectWithShortSilence();
    device_->SetFault({sim::FaultKind::Nak, 0, 1});
    w_->btnTunerClick(w_->btnType);
    ASSERT_TRUE(WaitFor([&] { return Status(1).startsWith("-NAK-("); }, 3000));
    EXPECT_EQ(device_->State().live.lineSource, 1) << "a refused command changes nothing";

    device_->SetFault({sim::FaultKind::Error, 3, 1});
    w_->btnTunerClick(w_->btnType);
    ASSERT_TRUE(WaitFor([&] { return Status(1) == "request ID unknown"; }, 3000));

    // The next command goes through as usual.
    w_->btnTunerClick(w_->btnType);
    ASSERT_TRUE(WaitFor([&] { return w_->LinePanel[1]->Color() == clLime; }, 3000));
    EXPECT_EQ(device_->State().live.lineSource, 2);
    EXPECT_TRUE(dialogs_->asked.empty());
}

// Closing the window while the device misbehaves, in each way it can: the
// window goes at once and the language chosen meanwhile is saved.
TEST_F(Faults, ClosingDuringEachFaultExitsPromptlyAndSaves)
{
    struct Case {
        const char* name;
        sim::Fault fault;
        bool unplug;
    };
    const Case cases[] = {
        {"noise", {sim::FaultKind::Noise, 9, -1}, false},
        {"reply cut short", {sim::FaultKind::Truncate, 4, -1}, false},
        {"NAK", {sim::FaultKind::Nak, 0, -1}, false},
        {"busy", {sim::FaultKind::Busy, 0, -1}, false},
        {"error report", {sim::FaultKind::Error, 3, -1}, false},
        {"silence", {sim::FaultKind::Silence, 0, -1}, false},
        {"unplugged", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(settingsFile_);
        ConnectWithShortSilence();
        w_->rdgLanguage->SetItemIndex(0);
        w_->rdgLanguageClick();
        if (c.unplug) {
            device_->Vanish();
        } else {
            device_->SetFault(c.fault);
        }
        // Commands meet the fault; the close comes while they are answered.
        w_->btnTunerClick(w_->btnCD);
        w_->Panel1Click(w_->Panel[2]);
        QTest::qWait(30);
        QElapsedTimer t;
        t.start();
        w_->close();
        w_.reset();
        EXPECT_LT(t.elapsed(), 2000);
        EXPECT_EQ(StoredInt("Language"), 1);
        EXPECT_EQ(StoredInt("Port No"), 1);
        SetLanguageFlag(kLanguageEnglish);
    }
}

}  // namespace
