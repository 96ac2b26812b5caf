// The COM tab's port box: detected adapters by their description (a list
// handed in stands in for adapters this machine does not have), typed names,
// and the choice stored beside "Port No" at once.
#include "FreePort.h"
#include "Connection.h"
#include "PanelFixture.h"
#include "PortChoice.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

class PortList : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        BuildWindow();
        w_->Ports()->SetLister([this] { return plugged_; });
    }
    QStringList Relist()
    {
        const int before = w_->Ports()->Listings();
        w_->Ports()->Refresh();
        EXPECT_TRUE(WaitFor([&] { return w_->Ports()->Listings() > before; }));
        QStringList items;
        for (int i = 0; i < w_->cbCOM->count(); ++i) {
            items << w_->cbCOM->itemText(i);
        }
        return items;
    }
    QString Stored(const char* key) const { return QSettings(settingsFile_, QSettings::IniFormat).value(key).toString(); }

    QList<comm::DetectedPort> plugged_;
};

TEST_F(PortList, AdaptersComeAndGoTypedNamesAreTakenAndTheChoiceIsStored)
{
    const QStringList com = Relist();
    ASSERT_EQ(com.size(), PortChoice::kComPorts);
    plugged_ = {{"/dev/ttyS0", "16550A", {}, {}}, {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10KX2"}};
    EXPECT_EQ(Relist(), com + QStringList{"/dev/ttyUSB0 (FT232R USB UART)"}) << "COM1 is not listed twice";
    EXPECT_TRUE(w_->cbCOM->itemData(8, Qt::ToolTipRole).toString().contains(
        "FT232R USB UART\nManufacturer: FTDI\nSerial number: A10KX2"));
    w_->cbCOM->setCurrentIndex(8);
    w_->cbCOMChange();
    EXPECT_EQ(Stored("Port Name"), "/dev/ttyUSB0");
    EXPECT_EQ(Stored("Port No"), "1") << "the number stays for older versions";
    plugged_.clear();
    EXPECT_EQ(Relist(), com);
    EXPECT_EQ(w_->cbCOM->currentText(), "/dev/ttyUSB0") << "an unplugged choice stays chosen";

    // Typed names are taken, or the status bar says what is wrong with them.
    // portName: what the window then holds
    // stored: "Port Name" afterwards
    const struct { const char* typed; const char* portName; int portNo; const char* stored; const char* message; } cases[] = {
        {"tcp://[::1]:4001", "tcp://[::1]:4001", 1, "tcp://[::1]:4001", ""},
        {"tcp://mixer", "tcp://[::1]:4001", 1, "tcp://[::1]:4001", "lacks the port number"},
        {"com3", "", 3, "", ""},
    };
    w_->show();  // shown: typing reaches the entry
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        w_->cbCOM->lineEdit()->clear();
        QTest::keyClicks(w_->cbCOM->lineEdit(), QString::fromUtf8(c.typed));
        QTest::keyClick(w_->cbCOM->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(w_->Device().Port().name.toStdString(), c.portName);
        EXPECT_EQ(w_->Device().Port().number, c.portNo);
        EXPECT_EQ(Stored("Port Name").toStdString(), c.stored);
        EXPECT_EQ(Status(1).isEmpty(), *c.message == '\0');
        EXPECT_TRUE(Status(1).contains(c.message)) << Status(1).toStdString();
    }
    EXPECT_EQ(w_->cbCOM->currentIndex(), 2);
}

// A port given for this run (--port) is the one named, in the box and the
// status bar; a reason longer than status panel 1 reads whole as its tool tip
// and in the traffic log (once while it stays the same).
TEST_F(PortList, ThePortInUseIsNamedAndItsReasonReadsWhole)
{
    const quint16 closed = FreePort();
    w_->SetPortForRun(QStringLiteral("tcp://127.0.0.1:%1").arg(closed));
    w_->show();  // connects
    w_->Connect();
    EXPECT_EQ(w_->cbCOM->currentText(), QStringLiteral("tcp://127.0.0.1:%1").arg(closed));
    const QString why = QStringLiteral("127.0.0.1 refused the connection on port %1. Is the device server running, "
                                       "and is %1 its port?").arg(closed);
    EXPECT_EQ(QStringList({Status(1), w_->sbMain->PanelLabel(1)->toolTip()}), QStringList({why, why}));
    EXPECT_EQ(LogLines(), QStringList{why});

    StartDevice();  // a new window
    BuildWindow();
    w_->SetPortForRun(QString::fromStdString(linkPath_));
    w_->show();
    EXPECT_EQ(QStringList({Status(0), w_->cbCOM->currentText()}),
              QStringList({QString::fromStdString(linkPath_) + " connected", QString::fromStdString(linkPath_)}));
}

}  // namespace
