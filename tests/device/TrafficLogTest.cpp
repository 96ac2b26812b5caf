// The traffic log as the user sees it in the message window, and the status
// line of each reply.
#include "Commands.h"
#include "Connection.h"
#include "CommEvents.h"
#include "Fmsg.h"
#include "Hex.h"
#include "LCommProc.h"
#include "PanelFixture.h"
#include "Rhtrack.h"
#include "WaitFor.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

class TrafficLogWindow : public PanelFixture {
protected:
    // A reply as the driver hands it over, fed to the receive path.
    void Receive(const char* frameHex, quint32 replyTime)
    {
        w_->Device().OnRecComplete(RecCompleteEvent(Hex(frameHex), replyTime, w_->Comm->Id()));
    }
};

TEST_F(TrafficLogWindow, SentAndReceivedLinesOfAUserAction)
{
    ShowAndConnect();
    w_->frmMsg->Clear();
    Focus(w_->tbMic[1]);
    w_->tbMic[1]->SetPosition(10);
    ASSERT_TRUE(WaitForFrame("10 02 01 03 A3 0A 10 10 03 BA"));
    ASSERT_TRUE(WaitFor([&] { return LogLines().size() >= 2; }));
    EXPECT_EQ(LogLines()[0], "-> [A3] 0A 10");
    EXPECT_TRUE(QRegularExpression("^<- \\[C3\\] 0A 10\\(\\d+\\)$").match(LogLines()[1]).hasMatch())
        << LogLines()[1].toStdString();
}

// The device's message stands for its hold time whatever replies come, and
// goes when the time is up even if the device falls silent meanwhile.
TEST_F(TrafficLogWindow, DeviceMessageStandsForItsHoldTimeThenClears)
{
    const QString busy = QStringLiteral("Wait, until KESTRA is ready");
    for (const bool silentAfter : {false, true}) {
        SCOPED_TRACE(silentAfter ? "silent device" : "polls answered");
        ShowAndConnect();
        device_->SetFault({sim::FaultKind::Busy, 0, 1});
        ASSERT_TRUE(WaitFor([&] { return Status(1) == busy; }, 3000));
        if (silentAfter) {
            device_->SetFault({sim::FaultKind::Silence, 0, -1});
        }
        EXPECT_FALSE(WaitFor([&] { return Status(1) != busy; }, 1000)) << "gone before its time";
        EXPECT_TRUE(WaitFor([&] { return Status(1) != busy; }, 3000)) << "still standing";
        if (silentAfter) {
            EXPECT_EQ(Status(1), QString());
        }
        device_->SetFault({});
        w_->close();
        w_.reset();
    }
}

}  // namespace
