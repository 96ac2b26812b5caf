// The COM tab's port box: detected adapters by their description (the list
// of detected ports stands in for adapters this machine does not have),
// typed names, and the choice stored beside "Port No" at once.
#include "PanelFixture.h"
#include "PortChoice.h"
#include "WaitFor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QThreadPool>

#include <gmock/gmock.h>

namespace {

using testing::HasSubstr;

class PortList : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        BuildWindow();
        w_->Ports()->SetLister([this] { return plugged_; });
    }
    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone();  // no listing outlives plugged_
        PanelFixture::TearDown();
    }
    void Relist()
    {
        const int before = w_->Ports()->Listings();
        w_->Ports()->Refresh();
        ASSERT_TRUE(WaitFor([&] { return w_->Ports()->Listings() > before; }));
    }
    QVariant Stored(const char* key) const { return QSettings(settingsFile_, QSettings::IniFormat).value(key); }
    QStringList Items() const
    {
        QStringList items;
        for (int i = 0; i < w_->cbCOM->count(); ++i) {
            items << w_->cbCOM->itemText(i);
        }
        return items;
    }
    void Type(const QString& text)
    {
        w_->cbCOM->lineEdit()->clear();
        QTest::keyClicks(w_->cbCOM->lineEdit(), text);
        QTest::keyClick(w_->cbCOM->lineEdit(), Qt::Key_Return);
    }

    QList<comm::DetectedPort> plugged_;
};

TEST_F(PortList, AdaptersComeAndGoAndTheChoiceIsStoredBesideTheNumber)
{
    const QStringList com = Items();
    ASSERT_EQ(com.size(), PortChoice::kComPorts);
    plugged_ = {{"/dev/ttyS0", "16550A", {}, {}}, {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10KX2"}};
    Relist();
    EXPECT_EQ(Items(), com + QStringList{"/dev/ttyUSB0 (FT232R USB UART)"}) << "COM1 is not listed twice";
    EXPECT_THAT(w_->cbCOM->itemData(8, Qt::ToolTipRole).toString().toStdString(),
                HasSubstr("FT232R USB UART\nManufacturer: FTDI\nSerial number: A10KX2"));

    w_->cbCOM->setCurrentIndex(8);
    w_->cbCOMChange();
    EXPECT_EQ(w_->PortName, "/dev/ttyUSB0");
    EXPECT_EQ(Stored("Port Name").toString(), "/dev/ttyUSB0");
    EXPECT_EQ(Stored("Port No").toInt(), 1) << "the number stays for older versions";

    plugged_.clear();
    Relist();
    EXPECT_EQ(Items(), com);
    EXPECT_EQ(w_->cbCOM->currentText(), "/dev/ttyUSB0") << "an unplugged choice stays chosen";
}

TEST_F(PortList, TypedNamesAreTakenOrExplained)
{
    struct Case {
        const char* typed;
        const char* portName;  // what the window then holds
        int portNo;
        const char* stored;  // "Port Name" afterwards; "" = none
        const char* message;
    };
    const Case cases[] = {
        {"tcp://[::1]:4001", "tcp://[::1]:4001", 1, "tcp://[::1]:4001", ""},
        {"tcp://mixer", "tcp://[::1]:4001", 1, "tcp://[::1]:4001", "lacks the port number"},
        {" /dev/pts/7 ", "/dev/pts/7", 1, "/dev/pts/7", ""},
        {"com3", "", 3, "", ""},
    };
    w_->show();  // shown: typing reaches the entry
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Type(QString::fromUtf8(c.typed));
        EXPECT_EQ(w_->PortName.toStdString(), c.portName);
        EXPECT_EQ(w_->PortNo, c.portNo);
        EXPECT_EQ(Stored("Port Name").toString().toStdString(), c.stored);
        EXPECT_EQ(Status(1).isEmpty(), *c.message == '\0');
        EXPECT_THAT(Status(1).toStdString(), HasSubstr(c.message));
    }
    EXPECT_EQ(w_->cbCOM->currentIndex(), 2);
}

}  // namespace
