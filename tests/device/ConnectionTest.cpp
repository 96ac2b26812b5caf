#include "Commands.h"
#include "Connection.h"
#include "FullState.h"
#include "Hex.h"
#include "LCommProc.h"
#include "Lcomm.h"
#include "Mroutine.h"
#include "Panel.h"
#include "PanelFixture.h"
#include "Rhtrack.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {

class Connection : public PanelFixture {};

TEST_F(Connection, ConnectingReadsTheWholeStateFirst)
{
    ShowAndConnect();
    const auto frames = device_->Received();
    const auto inquiries = FullStateInquiries();
    ASSERT_GE(frames.size(), inquiries.size() + 1);
    EXPECT_EQ(ToHex(frames[0]), "10 02 01 03 AF 01 00 10 03 AD");
    for (std::size_t i = 0; i < inquiries.size(); ++i) {
        EXPECT_EQ(ToHex(frames[i]), ToHex(inquiries[i].MakeFrame(1))) << "frame " << i;
    }
    // Nothing but polls (the ducking report's answer among them) follows.
    for (std::size_t i = inquiries.size(); i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], LCommProc::PollFrame()) << "frame " << i;
    }
    EXPECT_EQ(Status(0), "COM1 connected");
    EXPECT_FALSE(w_->btnConnect->isEnabled());
    EXPECT_TRUE(w_->btnDisconnect->isEnabled());
    EXPECT_TRUE(w_->tbMic[1]->isEnabled());
}

TEST_F(Connection, AcknowledgementShowsItsReplyTime)
{
    ShowAndConnect();
    // Polls are answered with ACKs while nothing changes.
    ASSERT_TRUE(WaitFor([&] { return Status(1).startsWith("-ACK-("); }));
    EXPECT_TRUE(QRegularExpression("^-ACK-\\(\\d+\\)$").match(Status(1)).hasMatch()) << Status(1).toStdString();
    EXPECT_EQ(Status(2), "");
}

TEST_F(Connection, MissingPortLeavesThePanelDisconnectedWithoutABox)
{
    BuildWindow();
    LComm::SetPortOverride(dir_.filePath("no-such-port"));
    w_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    EXPECT_EQ(w_->Comm, nullptr);
    EXPECT_EQ(Status(0), "disconnect");
    EXPECT_TRUE(w_->btnConnect->isEnabled());
    EXPECT_FALSE(w_->btnDisconnect->isEnabled());
    EXPECT_FALSE(w_->tbMic[1]->isEnabled());
    EXPECT_TRUE(dialogs_->asked.empty());
}

TEST_F(Connection, CommandsWhileDisconnectedVanishWithoutALogLine)
{
    StartDevice();
    BuildWindow();
    w_->Panel1Click(w_->Panel[2]);
    w_->btnTunerClick(w_->btnCD);
    w_->SendCommand(CM_MCS_MIC(3, 0x10), 0);
    QTest::qWait(50);
    EXPECT_EQ(device_->ReceivedCount(), 0u);
    EXPECT_TRUE(LogLines().isEmpty());
    // The local change of the click still happened.
    EXPECT_TRUE(IsPressed(w_->Panel[2]));
}

TEST_F(Connection, SilentDeviceAbortDisconnects)
{
    StartDevice();
    BuildWindow();
    w_->Device().SetSilenceLimitMs(300);
    dialogs_->answers = {TDialogs::Answer::Abort};
    ShowAndConnect();
    device_->SetFault({sim::FaultKind::Silence, 0, -1});
    ASSERT_TRUE(WaitFor([&] { return !dialogs_->asked.empty(); }, 5000));
    EXPECT_EQ(dialogs_->asked[0].kind, "AbortRetryIgnore");
    EXPECT_EQ(dialogs_->asked[0].text, "KESTRA connection error!");
    EXPECT_EQ(dialogs_->asked[0].caption, "error message");
    EXPECT_EQ(w_->Comm, nullptr);
    EXPECT_EQ(Status(0), "disconnect");
    EXPECT_FALSE(w_->tbMic[1]->isEnabled());
    EXPECT_TRUE(w_->btnConnect->isEnabled());
}

TEST_F(Connection, SilentDeviceRetryReconnectsOnTheSamePort)
{
    StartDevice();
    BuildWindow();
    w_->Device().SetSilenceLimitMs(300);
    dialogs_->answers = {TDialogs::Answer::Retry};
    dialogs_->whileOpen = [&] {
        device_->SetFault({});
        ClearReceived();
    };
    ShowAndConnect();
    device_->SetFault({sim::FaultKind::Silence, 0, -1});
    ASSERT_TRUE(WaitFor([&] { return !dialogs_->asked.empty(); }, 5000));
    // A new driver reads the whole state again.
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 49; }, 5000));
    EXPECT_EQ(ToHex(device_->Received()[0]), "10 02 01 03 AF 01 00 10 03 AD");
    EXPECT_NE(w_->Comm, nullptr);
    EXPECT_EQ(Status(0), "COM1 connected");
}

TEST_F(Connection, SilentDeviceIgnoreKeepsTheControls)
{
    StartDevice();
    BuildWindow();
    w_->Device().SetSilenceLimitMs(300);
    dialogs_->answers = {TDialogs::Answer::Ignore};
    ShowAndConnect();
    device_->SetFault({sim::FaultKind::Silence, 0, -1});
    ASSERT_TRUE(WaitFor([&] { return !dialogs_->asked.empty(); }, 5000));
    EXPECT_EQ(w_->Comm, nullptr);
    EXPECT_EQ(Status(0), "COM1 connected");
    EXPECT_TRUE(w_->tbMic[1]->isEnabled());
    EXPECT_FALSE(w_->btnConnect->isEnabled());
    EXPECT_TRUE(w_->btnDisconnect->isEnabled());
    QTest::qWait(400);
    EXPECT_EQ(dialogs_->asked.size(), 1u) << "one error, one box";
}

TEST_F(Connection, DisconnectButtonClosesAndDisables)
{
    ShowAndConnect();
    const int bar = w_->pgbLine->value();
    QTest::mouseClick(w_->btnDisconnect, Qt::LeftButton);
    EXPECT_EQ(w_->Comm, nullptr);
    EXPECT_EQ(Status(0), "disconnect");
    EXPECT_EQ(Status(1), "");
    EXPECT_FALSE(w_->tbMic[1]->isEnabled());
    EXPECT_TRUE(w_->btnConnect->isEnabled());
    // The level bars keep their last values.
    EXPECT_EQ(w_->pgbLine->value(), bar);
    EXPECT_EQ(w_->pgbLine->value(), 79 - w_->tbLine->Position()) << "factory line gain, unmuted";
}

}  // namespace
