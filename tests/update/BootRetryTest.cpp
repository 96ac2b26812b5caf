// A device that never answers the update: the restarts at the boot loader's
// speed are bounded, then the user is told and the line is closed.
#include "Connection.h"
#include "FirmwareImage.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "PtyPeer.h"
#include "UpdateTestSupport.h"
#include "WaitFor.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

class BootRetry : public PanelFixture {};

TEST_F(BootRetry, SilentDeviceEndsTheUpdateAfterAFewTries)
{
    ASSERT_TRUE(firmware::SetForRun(updatetest::MakeImage(3)));
    PtyPeer silent;
    ASSERT_TRUE(silent.Ok());
    LComm::SetPortOverride(QString::fromStdString(silent.Path()));
    BuildWindow();
    w_->SetServiceMode(true);
    w_->Device().SetSilenceLimitMs(150);

    for (QPushButton* start : {w_->btnUpdate, w_->btnUpdate2}) {
        dialogs_->asked.clear();
        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return w_->Comm == nullptr && !dialogs_->asked.empty(); }, 5000));
        EXPECT_FALSE(w_->UpdateMode);
        ASSERT_EQ(dialogs_->asked.size(), 1U);
        EXPECT_EQ(dialogs_->asked[0].text, QStringLiteral("Error Recommand !!"));
        ByteVector line = silent.Read();
        // The reset frame (or Update2's own start byte), then one start byte a try.
        const long starts = std::count(line.begin() + (start == w_->btnUpdate ? 8 : 1), line.end(), 0x01);
        EXPECT_EQ(starts, DeviceConnection::kBootLoaderTries);
    }
    firmware::ResetForRun();
}

}  // namespace
