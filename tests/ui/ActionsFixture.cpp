#include "ActionsFixture.h"

#include "Connection.h"
#include "DeviceConversation.h"
#include "FullState.h"
#include "Hex.h"
#include "Rhtrack.h"
#include "WaitFor.h"

#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <numeric>

void ActionsFixture::Connect(sim::SimOptions options)
{
    StartDevice(options);
    initial_ = device_->State();
    ShowAndConnect();
    ASSERT_NE(w_->Device().Line(), nullptr);
    w_->Device().Engine()->SetPolling(false);
    Drain();
    ClearReceived();
}

void ActionsFixture::Resync(const std::function<void(sim::DeviceState&)>& setup)
{
    FocusElsewhere();  // a focused fader would keep its own position
    sim::DeviceState state = initial_;
    if (setup) {
        setup(state);
    }
    device_->SetState(state);
    w_->RequestFullState();
    Drain();
    ClearReceived();
}

void ActionsFixture::Drain() { ASSERT_TRUE(WaitFor([&] { return w_->Device().Engine() != nullptr && w_->Device().Engine()->Idle(); }, 10000)); }

std::vector<std::string> ActionsFixture::Sent()
{
    Drain();
    std::vector<std::string> out = ReceivedHex();
    ClearReceived();
    return out;
}

void ActionsFixture::Drag(TrhTrackBar* fader, int position)
{
    if (!fader->hasFocus()) {
        Focus(fader);
    }
    fader->SetPosition(position);
}

void ActionsFixture::Enter(QLineEdit* edit, const QString& text)
{
    if (!edit->hasFocus()) {
        Focus(edit);
    }
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void ActionsFixture::FocusElsewhere() { Focus(w_->PageControl1->tabBar()); }

void ActionsFixture::ShowTab(QWidget* page)
{
    w_->PageControl1->setCurrentWidget(page);
    ASSERT_TRUE(WaitFor([&] { return page->isVisible(); }, 2000));
}

std::string Frame(std::uint8_t sub, std::initializer_list<std::uint8_t> payload)
{
    ByteVector f{0x10, 0x02, 0x01, static_cast<std::uint8_t>(payload.size() + 1), sub};
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {0x10, 0x03});
    f.push_back(std::accumulate(f.begin(), f.end(), std::uint8_t{0}, std::bit_xor<>()));
    return ToHex(f);
}

std::vector<std::string> FullStateFrames(std::vector<std::string> out)
{
    for (const LCmd& inquiry : FullStateInquiries()) {
        out.push_back(ToHex(inquiry.MakeFrame(frame::kModeFramed)));
    }
    return out;
}
