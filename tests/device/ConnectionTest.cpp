// Connecting, disconnecting and every way the device or the line can fail,
// end to end: the simulator misbehaves, the real driver and window must cope
// without crashing, hanging or losing anything.
#include "Commands.h"
#include "Connection.h"
#include "FullState.h"
#include "Hex.h"
#include "LCommProc.h"
#include "Language.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "PanelText.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace {

using Answer = TDialogs::Answer;

class Connection : public PanelFixture {
protected:
    // Connected, with a silence limit short enough to wait for.
    void ConnectWithShortSilence()
    {
        StartDevice();
        BuildWindow();
        w_->Device().SetSilenceLimitMs(300);
        ShowAndConnect();
    }
    // A fault of the device; none: it is unplugged.
    void Inflict(const std::optional<sim::Fault>& fault) { fault ? device_->SetFault(*fault) : device_->Vanish(); }
    // The connection as the user sees it: status, link, which controls work.
    std::string Shown() const
    {
        return Status(0).toStdString() + (w_->Comm ? ", open" : ", closed") +
               (w_->tbMic[1]->isEnabled() ? ", controls" : "") + (w_->btnConnect->isEnabled() ? ", connect" : "") +
               (w_->btnDisconnect->isEnabled() ? ", disconnect" : "");
    }
};

TEST_F(Connection, ReadsTheWholeStateThenPollsUntilDisconnected)
{
    ShowAndConnect();
    const auto frames = device_->Received();
    const auto inquiries = FullStateInquiries();
    ASSERT_GT(frames.size(), inquiries.size());
    EXPECT_EQ(ToHex(frames[0]), "10 02 01 03 AF 01 00 10 03 AD");
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], i < inquiries.size() ? inquiries[i].MakeFrame(1) : LCommProc::PollFrame()) << i;
    }
    EXPECT_EQ(Shown(), "COM1 connected, open, controls, disconnect");
    // Polls are answered with ACKs while nothing changes: their reply time shows.
    ASSERT_TRUE(WaitFor([&] { return Status(1).startsWith("-ACK-("); }));
    EXPECT_TRUE(QRegularExpression("^-ACK-\\(\\d+\\)$").match(Status(1)).hasMatch()) << Status(1).toStdString();
    EXPECT_EQ(Status(2), "");

    const int bar = w_->pgbLine->value();
    QTest::mouseClick(w_->btnDisconnect, Qt::LeftButton);
    EXPECT_EQ(Shown(), "disconnect, closed, connect");
    EXPECT_EQ(Status(1), "");
    EXPECT_EQ(w_->pgbLine->value(), bar) << "the level bars keep their last values";
}

TEST_F(Connection, WithoutALinkNothingIsSentAndNoBoxIsShown)
{
    StartDevice();
    BuildWindow();  // not shown: not connected
    w_->Panel1Click(w_->Panel[2]);
    w_->btnTunerClick(w_->btnCD);
    w_->SendCommand(CM_MCS_MIC(3, 0x10), 0);
    EXPECT_FALSE(WaitFor([&] { return device_->ReceivedCount() > 0; }, 200));
    EXPECT_TRUE(LogLines().isEmpty());
    EXPECT_TRUE(IsPressed(w_->Panel[2])) << "the click's own change stays";

    LComm::SetPortOverride(dir_.filePath("no-such-port"));
    w_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    EXPECT_EQ(Shown(), "disconnect, closed, connect");
    EXPECT_TRUE(dialogs_->asked.empty());
}

// A silent, unplugged or stuttering device ends the link with one box; the
// user's answer decides what follows. A retry reads the whole state again,
// the change the device took before the fault included.
TEST_F(Connection, LinkFaultsGiveOneBoxAndTheAnswerDecides)
{
    const sim::Fault silence{sim::FaultKind::Silence, 0, -1};
    const struct {
        const char* name; std::optional<sim::Fault> fault; Answer answer; const char* shown; const char* lamps;
    } cases[] = {
        {"silence, abort", silence, Answer::Abort, "disconnect, closed, connect", nullptr},
        {"silence, ignore", silence, Answer::Ignore, "COM1 connected, closed, controls, disconnect", nullptr},
        {"silence, retry", silence, Answer::Retry, "COM1 connected, open, controls, disconnect", "ggLgg"},
        {"unplugged, retry", std::nullopt, Answer::Retry, "COM1 connected, open, controls, disconnect", nullptr},
        {"reply cut short, retry", sim::Fault{sim::FaultKind::Truncate, 4, 1}, Answer::Retry,
         "COM1 connected, open, controls, disconnect", "ggLgg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectWithShortSilence();
        dialogs_->answers = {c.answer};
        dialogs_->whileOpen = [&] {
            if (c.answer == Answer::Retry) {
                ASSERT_TRUE(c.fault || !device_->Reappear().empty());
                device_->SetFault({});
                ClearReceived();
            }
        };
        Inflict(c.fault);
        w_->btnTunerClick(w_->btnCD);
        ASSERT_TRUE(WaitFor([&] { return !dialogs_->asked.empty(); }, 5000));
        const auto& box = dialogs_->asked[0];
        EXPECT_EQ(box.kind + ": " + box.caption + ": " + box.text,
                  "AbortRetryIgnore: error message: KESTRA connection error!");
        if (c.answer == Answer::Retry) {
            ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 50; }, 5000));
            EXPECT_EQ(ToHex(device_->Received()[0]), "10 02 01 03 AF 01 00 10 03 AD");
            Settle();
        }
        EXPECT_EQ(Shown(), c.shown);
        if (c.lamps) {
            EXPECT_EQ(Lamps(w_->LinePanel, 0, 4), c.lamps);
        }
        EXPECT_FALSE(WaitFor([&] { return dialogs_->asked.size() > 1; }, 400)) << "one fault, one box";
    }
}

// Each fault while commands are under way: a refused command changes nothing
// and says why, noise is dropped, and whatever the fault, closing the window
// is prompt and saves the language chosen meanwhile.
TEST_F(Connection, EachFaultLosesNothingAndClosingStaysPrompt)
{
    const struct { const char* name; std::optional<sim::Fault> fault; const char* status; int source; } cases[] = {
        {"noise", sim::Fault{sim::FaultKind::Noise, 9, -1}, nullptr, 3},
        {"NAK", sim::Fault{sim::FaultKind::Nak, 0, -1}, "-NAK-(", 1},
        {"busy", sim::Fault{sim::FaultKind::Busy, 0, -1}, "Wait, until KESTRA is ready", 1},
        {"error report", sim::Fault{sim::FaultKind::Error, 3, -1}, "request ID unknown", 1},
        {"reply cut short", sim::Fault{sim::FaultKind::Truncate, 4, -1}, nullptr, 0},
        {"silence", sim::Fault{sim::FaultKind::Silence, 0, -1}, nullptr, 0},
        {"unplugged", std::nullopt, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(settingsFile_);
        ConnectWithShortSilence();
        Inflict(c.fault);
        w_->btnTunerClick(w_->btnCD);
        w_->Panel1Click(w_->Panel[2]);
        EXPECT_TRUE(!c.status || WaitFor([&] { return Status(1).startsWith(c.status); }, 3000));
        EXPECT_TRUE(!c.source || WaitFor([&] { return device_->State().live.lineSource == c.source; }, 3000));
        EXPECT_TRUE(dialogs_->asked.empty());
        w_->rdgLanguage->SetItemIndex(0);
        w_->rdgLanguageClick();
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
