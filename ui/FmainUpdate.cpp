// The firmware update as the window runs it: the two start buttons, the
// updater's view of the window (status text, progress bar, dialogs, the
// line), and the service mode that shows the otherwise hidden controls.
#include "Fmain.h"

#include "Commands.h"
#include "Connection.h"
#include "LineSettings.h"
#include "Dialogs.h"
#include "FirmwareImage.h"
#include "InterruptedUpdate.h"
#include "LUpdate.h"
#include "LevelBar.h"
#include "PortName.h"
#include "StatusBar.h"
#include "UpdateProgress.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int kRegularBaud = comm::LineSettings{}.baudRate;
constexpr std::uint8_t kStartByte = 0x01;

// The updater's outside world is this window.
class WindowUpdateHost final : public UpdateHost {
public:
    explicit WindowUpdateHost(TfrmMain& window) : w_(window), port_(comm::ResolvePortName(w_.Device().Port().number, w_.Device().Port().name))
    {
        NoteUpdateBegun(port_);  // until it ends well: kestractl doctor then names the boot loader
        SetBarPosition(w_.suiProgressBar1, 0);  // a new update starts empty
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // A disconnection meanwhile ended the update: nothing to switch.
            if (w_.Device().UpdateMode() && w_.Connected() && pending_) {
                const std::function<void()> action = std::move(pending_);
                action();
            }
        });
    }

    void SendRaw(const LCmd& command) override { w_.SendUnlogged(command, 1, frame::kModeRaw); }
    void SetStatusText(const std::string& text) override
    {
        if (text == "Update OK") {
            NoteUpdateEnded(port_);
        }
        // The three panels stay as they were underneath; the update's texts
        // use the whole bar until the update ends.
        progress_.Status(text);
        w_.sbMain->SetSimplePanel(true);
        w_.sbMain->SetSimpleText(QString::fromStdString(progress_.Text()));
        SetBarPosition(w_.suiProgressBar1, progress_.Percent());
    }
    void SetProgress(int position) override
    {
        progress_.Position(position);
        SetBarPosition(w_.suiProgressBar1, progress_.Percent());
    }
    bool SetBaudRate(int rate) override { return w_.Device().SetConnectionBaudRate(rate); }
    void After(int ms, std::function<void()> action) override
    {
        pending_ = std::move(action);
        timer_.start(ms);
    }
    void Information(const std::string& text) override { w_.Dialogs().Information(&w_, QString::fromStdString(text)); }
    void Error(const std::string& text) override { w_.Dialogs().Error(&w_, QString::fromStdString(text)); }
    void Plain(const std::string& text) override { w_.Dialogs().Plain(&w_, QString::fromStdString(text)); }
    void Disconnect() override { w_.Disconnect(); }

private:
    TfrmMain& w_;
    QString port_;
    UpdateProgress progress_;
    QTimer timer_;
    std::function<void()> pending_;
};
}  // namespace

struct UpdateSession {
    UpdateSession(TfrmMain& window, ByteVector image) : host(window), update(host, std::move(image)) {}
    WindowUpdateHost host;
    LUpdate update;
};

void TfrmMain::UpdateSessionDeleter::operator()(UpdateSession* session) const
{
    delete session;
}

LUpdate* TfrmMain::Updater() const
{
    return update_ ? &update_->update : nullptr;
}

void TfrmMain::SetServiceMode(bool on)
{
    btnUpdate->setVisible(on);
    btnUpdate2->setVisible(on);
    suiProgressBar1->setVisible(on);
}

void TfrmMain::btnUpdateClick()
{
    StartUpdate(false);
}

void TfrmMain::btnUpdate2Click()
{
    StartUpdate(true);
}

void TfrmMain::StartUpdate(bool inBootLoader)
{
    if (Connected()) {
        Dialogs().Information(this, QStringLiteral("You must be disconnect first!!"));
        return;
    }
    const ByteVector& image = firmware::Current();
    if (image.size() != firmware::kImageSize) {
        Dialogs().Information(this, QStringLiteral("No firmware image: this build carries none. "
                                                   "Start the program with --firmware FILE to give one."));
        return;
    }
    if (!Device().OpenForUpdate(inBootLoader ? LUpdate::kBootLoaderBaud : kRegularBaud)) {
        return;
    }
    update_.reset(new UpdateSession(*this, image));
    update_->update.SetState(0);
    Device().SetUpdateHooks({
        [this](std::uint8_t reply, const ByteVector& payload) {
            if (update_) {
                update_->update.OnReply(reply, payload);
            }
        },
        [this] { return update_ ? update_->update.GetState() : -1; },
        [this](int state) {
            if (update_) {
                update_->update.SetState(state);
            }
        },
        [this] { EndUpdateView(); },
    });
    if (inBootLoader) {
        SendUnlogged(CM_MCS_START(kStartByte), 1, frame::kModeRaw);
    } else {
        SendCommand(CM_MCS_IAP_RESET(sub::kIapReset), 1);
    }
}

void TfrmMain::EndUpdateView()
{
    sbMain->SetSimplePanel(false);
}
