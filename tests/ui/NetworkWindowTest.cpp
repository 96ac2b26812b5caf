// The window over the network, through Debian's ser2net serving the
// simulated KESTRA: the whole state read and a value set over tcp://, the
// port remembered across a restart, a server that dies mid-session, and a
// whole firmware update over rfc2217:// with the real switch to 115200.
#include "FirmwareImage.h"
#include "LCommProc.h"
#include "PanelFixture.h"
#include "Rhtrack.h"
#include "Ser2net.h"
#include "UpdateTestSupport.h"
#include "WaitFor.h"

#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <algorithm>

namespace {

class NetworkWindow : public PanelFixture {
protected:
    void Serve(Ser2net::Mode mode, sim::SimOptions options = {})
    {
        StartDevice(options);
        server_ = std::make_unique<Ser2net>(QString::fromStdString(device_->Path()), mode);
        ASSERT_TRUE(server_->Start()) << server_->Why().toStdString();
        LComm::SetPortOverride({});  // the window's own choice opens the port
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Port Name", server_->Url());
    }
    void TearDown() override
    {
        PanelFixture::TearDown();
        server_.reset();
    }
    std::unique_ptr<Ser2net> server_;
};

TEST_F(NetworkWindow, ReadsAndSetsOverTcpAndRemembersThePort)
{
    Serve(Ser2net::Mode::Raw);
    sim::DeviceState state = device_->State();
    state.live.micGain[0] = 37;
    device_->SetState(state);
    ShowAndConnect();
    EXPECT_EQ(Status(0), server_->Url() + " connected");
    EXPECT_EQ(w_->tbMic[1]->Position(), 37);
    w_->cbPresetNo->setCurrentIndex(1);
    QTest::mouseClick(w_->btnSave, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return device_->State().presets[1].micGain[0] == 37; }));

    // Restarted, the window opens the same port again.
    w_->close();
    w_.reset();
    device_->ClearReceived();
    ShowAndConnect();
    EXPECT_EQ(w_->cbCOM->currentText(), server_->Url());
    EXPECT_EQ(Status(0), server_->Url() + " connected");
}

TEST_F(NetworkWindow, ServerDyingGivesOneErrorAndRetryReconnects)
{
    Serve(Ser2net::Mode::Raw);
    ShowAndConnect();
    dialogs_->answers = {TDialogs::Answer::Retry};
    dialogs_->whileOpen = [&] { ASSERT_TRUE(server_->Start()) << server_->Why().toStdString(); };
    device_->ClearReceived();
    server_->Kill();
    // Reconnected: the whole state is read again, and polling goes on.
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 50; }, 15000));
    EXPECT_EQ(dialogs_->asked.size(), 1u);
    EXPECT_NE(w_->Comm, nullptr);
}

TEST_F(NetworkWindow, WholeFirmwareUpdateOverRfc2217)
{
    const ByteVector image = updatetest::MakeImage(11);
    ASSERT_TRUE(firmware::SetForRun(image));
    sim::SimOptions options;
    options.wireSpeed = true;
    options.idleMs = 500;
    Serve(Ser2net::Mode::Rfc2217, options);
    BuildWindow();
    w_->SetServiceMode(true);
    w_->PortName = server_->Url();

    QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
    const bool finished = WaitFor(
        [&] {
            return w_->Comm == nullptr && std::any_of(dialogs_->asked.begin(), dialogs_->asked.end(), [](auto& a) {
                       return a.text == QStringLiteral("Update OK , Please ReConnect!!");
                   });
        },
        30000);
    firmware::ResetForRun();
    ASSERT_TRUE(finished) << "device received " << device_->ReceivedCount() << ", garbled " << device_->GarbledBytes();
    EXPECT_EQ(device_->GarbledBytes(), 0u) << "every byte at the speed the device listened at";
    const sim::Flash flash = device_->FlashContents();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_FALSE(device_->InBootLoader());
}

}  // namespace
