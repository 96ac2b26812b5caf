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

TEST_F(TrafficLogWindow, FullStateReadIsLoggedWithoutAcksOrPolls)
{
    ShowAndConnect();
    const QStringList lines = LogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(), "-> [AF] 01 00");
    int sent = 0;
    int received = 0;
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith("-> [05]") || line.startsWith("<- [01]")) << line.toStdString();
        sent += line.startsWith("-> [") ? 1 : 0;
        received += line.startsWith("<- [") ? 1 : 0;
    }
    EXPECT_EQ(sent, 49);
    EXPECT_EQ(received, 49) << "one report per inquiry";
}

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

TEST_F(TrafficLogWindow, ReceivedReportLineAndStatusCarryTheReplyTime)
{
    ShowAndConnect();
    w_->frmMsg->Clear();
    Receive("10 02 01 03 C3 21 12 10 03 E1", 35);
    EXPECT_EQ(LogLines(), QStringList{"<- [C3] 21 12(35)"});
    EXPECT_EQ(Status(1), "(35)");
    Receive("10 02 01 03 CB 02 01 10 03 00", 7);
    EXPECT_EQ(LogLines().last(), "<- [CB] 02 01(7)");
    EXPECT_EQ(Status(1), "unknow command: CB(7)");
    Receive("10 02 01 01 02 10 03 00", 4);
    EXPECT_EQ(Status(1), "-NAK-(4)");
    EXPECT_EQ(LogLines().last(), "<- [02](4)");
    Receive("10 02 01 01 01 10 03 00", 0xFFFFFFFFu);
    EXPECT_EQ(Status(1), "-ACK-(-1)");
    EXPECT_EQ(LogLines().last(), "<- [02](4)") << "acknowledgements are not logged";
    // A short report is ignored but still logged.
    Receive("10 02 01 02 C3 21 10 03 00", 3);
    EXPECT_EQ(LogLines().last(), "<- [C3] 21(3)");
}

TEST_F(TrafficLogWindow, ReceivedOnlyFilterAndItsResetOnShowing)
{
    ShowAndConnect();
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    ASSERT_TRUE(w_->frmMsg->isVisible());
    EXPECT_TRUE(w_->LogWindowShown);
    w_->frmMsg->rbRXOnly->setChecked(true);
    w_->frmMsg->Clear();
    w_->btnTunerClick(w_->btnCD);
    ASSERT_TRUE(WaitFor([&] { return !LogLines().isEmpty(); }));
    ASSERT_TRUE(WaitFor([&] { return LogLines().size() == 1; }));
    EXPECT_TRUE(LogLines()[0].startsWith("<- [C1] 03(")) << LogLines()[0].toStdString();

    // Hiding and showing again logs sent frames again.
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    EXPECT_FALSE(w_->frmMsg->isVisible());
    EXPECT_FALSE(w_->LogWindowShown);
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    EXPECT_TRUE(w_->frmMsg->rbRXTX->isChecked());
    EXPECT_FALSE(w_->frmMsg->rbRXOnly->isChecked());
    EXPECT_EQ(LogLines().size(), 1) << "hiding keeps the log";
}

TEST_F(TrafficLogWindow, MessageWindowDocksAndFollows)
{
    ShowAndConnect();
    QTest::mouseClick(w_->btnViewmessages, Qt::LeftButton);
    const QRect main = w_->frameGeometry();
    EXPECT_EQ(w_->frmMsg->x(), main.x() + main.width());
    EXPECT_EQ(w_->frmMsg->y(), main.y());
    EXPECT_EQ(w_->frmMsg->frameGeometry().height(), main.height());
    EXPECT_EQ(w_->frmMsg->mmMsg->height(), w_->height() - 98);
    EXPECT_LT(w_->frmMsg->rbRXOnly->y(), w_->frmMsg->rbRXTX->y());
    w_->move(w_->x() + 40, w_->y() + 30);
    ASSERT_TRUE(WaitFor([&] { return w_->frmMsg->x() == w_->frameGeometry().right() + 1; }));
    EXPECT_EQ(w_->frmMsg->y(), w_->frameGeometry().y());
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

TEST_F(TrafficLogWindow, ClearButtonEmptiesTheLog)
{
    ShowAndConnect();
    ASSERT_FALSE(LogLines().isEmpty());
    EXPECT_FALSE(w_->Button1->isVisible());
    w_->Button1Click();
    EXPECT_TRUE(LogLines().isEmpty());
}

}  // namespace
