// The link as the user sees it, end to end: starting, connecting,
// disconnecting, the status line and the traffic log, and every way the
// device, the line or the settings store can fail: the simulator misbehaves,
// the real driver and window must cope without crashing, hanging or losing
// anything.
#include "DeviceConversation.h"
#include "CommEvents.h"
#include "Commands.h"
#include "Connection.h"
#include "Fmsg.h"
#include "Hex.h"
#include "LCommProc.h"
#include "Language.h"
#include "PanelFixture.h"
#include "PanelText.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

#include <optional>

namespace {

using Answer = TDialogs::Answer;

class Connection : public PanelFixture {
protected:
    void TearDown() override
    {
        PanelFixture::TearDown();
        SetLanguageFlag(kLanguageEnglish);
    }
    // Shown without a device; what the window took from the settings store.
    std::string ShowUnconnected()
    {
        BuildWindow();
        w_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
        return std::to_string(w_->Device().Port().number) + " " + w_->cbCOM->currentText().toStdString() + " " +
               std::to_string(LanguageFlag() == kLanguageEnglish) + std::to_string(w_->rdgLanguage->ItemIndex());
    }
    // The connection as the user sees it: status, link, which controls work.
    std::string Shown() const
    {
        return Status(0).toStdString() + (w_->Device().Line() ? ", open" : ", closed") +
               (w_->tbMic[1]->isEnabled() ? ", controls" : "") + (w_->btnConnect->isEnabled() ? ", connect" : "") +
               (w_->btnDisconnect->isEnabled() ? ", disconnect" : "");
    }
};

TEST_F(Connection, EachReplyShowsItsTimeUntilDisconnected)
{
    ShowAndConnect();
    EXPECT_EQ(Shown(), "COM1 connected, open, controls, disconnect");
    // Polls are answered with ACKs while nothing changes: their reply time shows.
    ASSERT_TRUE(WaitFor([&] { return Status(1).startsWith("-ACK-("); }));
    EXPECT_TRUE(QRegularExpression("^-ACK-\\(\\d+\\)$").match(Status(1)).hasMatch()) << Status(1).toStdString();
    EXPECT_EQ(Status(2), "");
    // Each reply as the driver hands it over: its log line (if any) and status.
    const struct { const char* frame; quint32 time; const char* logged; const char* status; } cases[] = {
        {"10 02 01 03 C3 21 12 10 03 E1", 35, "<- [C3] 21 12(35)", "(35)"},
        {"10 02 01 03 CB 02 01 10 03 00", 7, "<- [CB] 02 01(7)", "unknow command: CB(7)"},
        {"10 02 01 01 02 10 03 00", 4, "<- [02](4)", "-NAK-(4)"},
        {"10 02 01 01 01 10 03 00", 0xFFFFFFFFu, nullptr, "-ACK-(-1)"},  // the time clamped by the driver
        {"10 02 01 01 05 10 03 04", 3, nullptr, "unknow command: 05(3)"},
        {"10 02 01 02 C3 21 10 03 00", 3, "<- [C3] 21(3)", "(3)"},  // too short: ignored but logged
        {"10 02 01 02 C1 01 10 03 00", 0xFFFFFFFFu, "<- [C1] 01(-1)", "(-1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        w_->frmMsg->Clear();
        w_->Device().OnRecComplete(RecCompleteEvent(Hex(c.frame), c.time, w_->Device().Line()->Id()));
        EXPECT_EQ(LogLines(), c.logged ? QStringList{c.logged} : QStringList{});
        EXPECT_EQ(Status(1), c.status);
    }

    const int bar = w_->pgbLine->value();
    QTest::mouseClick(w_->btnDisconnect, Qt::LeftButton);
    EXPECT_EQ(Shown(), "disconnect, closed, connect");
    EXPECT_EQ(Status(1), "");
    EXPECT_EQ(w_->pgbLine->value(), bar) << "the level bars keep their last values";
}

// The first start, without a device: defaults, unconnected, no box; a click
// keeps its own change and sends nothing. The port is stored at once, the
// language when the window closes.
TEST_F(Connection, FirstStartWithoutADevice)
{
    EXPECT_EQ(ShowUnconnected(), "1 COM1 11");
    EXPECT_EQ(Shown(), "disconnect, closed, connect");
    w_->Panel1Click(w_->Panel[2]);
    w_->btnTunerClick(w_->btnCD);
    w_->SendCommand(CM_MCS_MIC(3, 0x10), 0);
    EXPECT_EQ(LogLines(), QStringList{Status(1)}) << "only why the port did not open";
    EXPECT_TRUE(IsPressed(w_->Panel[2]));
    EXPECT_TRUE(dialogs_->asked.empty());

    EXPECT_EQ(StoredInt("Port No"), 1);
    EXPECT_EQ(StoredInt("Language"), 0);
    w_->cbCOM->setCurrentIndex(4);
    w_->cbCOMChange();
    EXPECT_EQ(StoredInt("Port No"), 5) << "written at once";
    w_->rdgLanguage->SetItemIndex(0);
    w_->rdgLanguageClick();
    EXPECT_EQ(StoredInt("Language"), 0) << "not before the window closes";
    w_->close();
    EXPECT_EQ(StoredInt("Language"), 1);
    EXPECT_EQ(ShowUnconnected(), "5 COM5 00") << "the next start reads both back";
}

TEST_F(Connection, BadStoresLeaveCom1AndEnglish)
{
    const struct { QVariant port, language; } cases[] = {
        {0, 0}, {9, 0}, {-3, 2}, {1, 7}, {QString("COM4"), QString("deutsch")},
        {QVariant(qlonglong(1) << 40), QVariant(qlonglong(1) << 33)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port.toString().toStdString());
        QFile::remove(settingsFile_);
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Port No", c.port);
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Language", c.language);
        EXPECT_EQ(ShowUnconnected(), "1 COM1 11");
    }
}

// Each fault while commands are under way (a refused command is the reply
// table's). Noise is dropped. A silent, unplugged or stuttering
// device ends the link with one box, and the user's answer decides: a retry
// reads the whole state again, the change the device took before the fault
// included. Whatever happened, closing is prompt and keeps the language
// chosen meanwhile.
TEST_F(Connection, EachFaultLosesNothingAndTheAnswerDecides)
{
    const sim::Fault silence{sim::FaultKind::Silence, 0, -1};
    const char* const on = "COM1 connected, open, controls, disconnect";
    const struct { const char* name; std::optional<sim::Fault> fault; std::optional<Answer> answer; int source;
                   const char* shown, *lamps; } cases[] = {
        {"noise", sim::Fault{sim::FaultKind::Noise, 9, -1}, {}, 3, on, nullptr},
        {"silence, closed before its limit", silence, {}, 0, nullptr, nullptr},
        {"silence, retry", silence, Answer::Retry, 3, on, "ggLgg"},
        {"unplugged, retry", std::nullopt, Answer::Retry, 0, on, nullptr},
        {"reply cut short, retry", sim::Fault{sim::FaultKind::Truncate, 4, 1}, Answer::Retry, 3, on, "ggLgg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(settingsFile_);
        StartDevice();
        BuildWindow();
        w_->Device().SetSilenceLimitMs(300);  // short enough to wait for
        ShowAndConnect();
        dialogs_->answers = {c.answer.value_or(Answer::Ignore)};
        dialogs_->whileOpen = [&] {
            // Beside the box, the line's panel keeps why (which port, what failed).
            EXPECT_TRUE(w_->sbMain->PanelText(2).startsWith(QLatin1String("COM1: "))) << w_->sbMain->PanelText(2).toStdString();
            if (c.answer == Answer::Retry) {
                ASSERT_TRUE(c.fault || !device_->Reappear().empty());
                device_->SetFault({});
                ClearReceived();
            }
        };
        // The fault meets the click's own exchange, not a poll's that is
        // under way (that one would fail the line before the click goes out).
        w_->Device().Engine()->SetPolling(false);
        ASSERT_TRUE(WaitFor([&] { return w_->Device().Engine()->Idle(); }, 2000));
        c.fault ? device_->SetFault(*c.fault) : device_->Vanish();  // no fault: unplugged
        w_->btnTunerClick(w_->btnCD);
        w_->Device().Engine()->SetPolling(true);  // behind the click: the line's silence limit needs it
        w_->Panel1Click(w_->Panel[2]);
        if (c.answer) {
            ASSERT_TRUE(WaitFor([&] { return !dialogs_->asked.empty(); }, 5000));
            const auto& box = dialogs_->asked[0];
            EXPECT_EQ(box.kind + ": " + box.caption + ": " + box.text,
                      "AbortRetryIgnore: error message: KESTRA connection error!");
        }
        if (c.answer == Answer::Retry) {
            ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 50; }, 5000));
            EXPECT_EQ(ToHex(device_->Received()[0]), "10 02 01 03 AF 01 00 10 03 AD");
            Settle();
        }
        EXPECT_TRUE(!c.source || WaitFor([&] { return device_->State().live.lineSource == c.source; }, 3000));
        if (c.shown) {  // else closed at once, mid-fault
            EXPECT_EQ(Shown(), c.shown);
            EXPECT_FALSE(WaitFor([&] { return dialogs_->asked.size() > (c.answer ? 1u : 0u); }, 400)) << "one box at most";
        }
        EXPECT_TRUE(!c.lamps || Lamps(w_->LinePanel, 0, 4) == c.lamps) << Lamps(w_->LinePanel, 0, 4);
        w_->rdgLanguage->SetItemIndex(0);
        w_->rdgLanguageClick();
        EXPECT_LT(Timed([&] {
            w_->close();
            w_.reset();
        }), 2000);
        EXPECT_EQ(StoredInt("Language"), 1);
        EXPECT_EQ(StoredInt("Port No"), 1);
        SetLanguageFlag(kLanguageEnglish);
    }
}

TEST_F(Connection, ReceivedOnlyUntilHiddenClearedByItsButton)
{
    ShowAndConnect();
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    ASSERT_TRUE(w_->frmMsg->isVisible() && w_->LogWindowShown);
    const QRect main = w_->frameGeometry();  // docked to the right, as tall as the window
    EXPECT_EQ(w_->frmMsg->frameGeometry(), QRect(main.right() + 1, main.y(), w_->frmMsg->frameGeometry().width(), main.height()));
    EXPECT_EQ(w_->frmMsg->mmMsg->height(), w_->height() - 98);
    w_->move(w_->x() + 40, w_->y() + 30);
    EXPECT_TRUE(WaitFor([&] { return w_->frmMsg->pos() == w_->frameGeometry().topRight() + QPoint(1, 0); }));

    w_->frmMsg->rbRXOnly->setChecked(true);
    w_->frmMsg->Clear();
    w_->btnTunerClick(w_->btnCD);
    // The reply first (slow under the thread sanitizer), then nothing more.
    EXPECT_TRUE(WaitFor([&] { return !LogLines().isEmpty(); }));
    Settle();
    ASSERT_EQ(LogLines().size(), 1);
    EXPECT_TRUE(LogLines()[0].startsWith("<- [C1] 03(")) << LogLines()[0].toStdString();
    // Hidden and shown again: the log kept, sent frames logged again.
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    EXPECT_FALSE(w_->frmMsg->isVisible() || w_->LogWindowShown);
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    EXPECT_TRUE(w_->frmMsg->rbRXTX->isChecked() && !w_->frmMsg->rbRXOnly->isChecked());
    EXPECT_EQ(LogLines().size(), 1);
    EXPECT_FALSE(w_->Button1->isVisible());
    w_->Button1Click();
    EXPECT_TRUE(LogLines().isEmpty());
}

// The device's message stands for its hold time whatever replies come, and
// goes when the time is up even if the device falls silent meanwhile (not
// merely overwritten by the next reply's text).
TEST_F(Connection, DeviceMessageStandsForItsHoldTimeThenClears)
{
    const QString busy = QStringLiteral("Wait, until KESTRA is ready");
    ShowAndConnect();
    device_->SetFault({sim::FaultKind::Busy, 0, 1});
    ASSERT_TRUE(WaitFor([&] { return Status(1) == busy; }, 3000));
    EXPECT_FALSE(WaitFor([&] { return Status(1) != busy; }, 1000)) << "gone before its time, polls answered";
    device_->SetFault({sim::FaultKind::Silence, 0, -1});
    EXPECT_TRUE(WaitFor([&] { return Status(1) != busy; }, 3000)) << "still standing";
    EXPECT_EQ(Status(1), QString());
}

}  // namespace
