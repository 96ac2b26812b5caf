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

}  // namespace
