// A whole firmware update through Debian's ser2net over rfc2217://, with the
// real switch to 115200 (plain tcp:// is walked by the reconnect tests).
#include "FirmwareImage.h"
#include "LCommProc.h"
#include "PanelFixture.h"
#include "Ser2net.h"
#include "UpdateTestSupport.h"
#include "WaitFor.h"

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
