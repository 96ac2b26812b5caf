// The traffic log as the user sees it in the message window, and the status
// line of each reply.
#include "CommEvents.h"
#include "Connection.h"
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

class TrafficLog : public PanelFixture {};

// Each reply as the driver hands it over: its log line (if any) and status.
TEST_F(TrafficLog, EachReplyKindLogsAndShowsItsTime)
{
    ShowAndConnect();
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
        w_->Device().OnRecComplete(RecCompleteEvent(Hex(c.frame), c.time, w_->Comm->Id()));
        EXPECT_EQ(LogLines(), c.logged ? QStringList{c.logged} : QStringList{});
        EXPECT_EQ(Status(1), c.status);
    }
}

TEST_F(TrafficLog, ReceivedOnlyUntilHiddenClearedByItsButton)
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
    ASSERT_TRUE(WaitFor([&] { return !LogLines().isEmpty(); }));
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
// goes when the time is up even if the device falls silent meanwhile.
TEST_F(TrafficLog, DeviceMessageStandsForItsHoldTimeThenClears)
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
