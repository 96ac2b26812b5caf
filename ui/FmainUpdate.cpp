// The firmware update as the window shows it: the two start buttons, the
// window's view of the update run (status text, progress bar, dialogs, the
// traffic log), and the service mode that shows the otherwise hidden controls.
#include "Fmain.h"

#include "Connection.h"
#include "Dialogs.h"
#include "FirmwareImage.h"
#include "LevelBar.h"
#include "StatusBar.h"
#include "TrafficLog.h"
#include "UpdateRun.h"

#include <QProgressBar>
#include <QPushButton>

class TfrmMain::UpdateWindowView final : public UpdateView {
public:
    explicit UpdateWindowView(TfrmMain& window) : w_(window) {}

    void Progress(const UpdateProgress& shown) override
    {
        // The three panels stay as they were underneath; the update's texts
        // use the whole bar until the update ends.
        if (!shown.Text().empty()) {
            w_.sbMain->SetSimplePanel(true);
            w_.sbMain->SetSimpleText(QString::fromStdString(shown.Text()));
        }
        SetBarPosition(w_.suiProgressBar1, shown.Percent());
    }
    void Information(const std::string& text) override { w_.Dialogs().Information(&w_, QString::fromStdString(text)); }
    void Error(const std::string& text) override { w_.Dialogs().Error(&w_, QString::fromStdString(text)); }
    void Plain(const std::string& text) override { w_.Dialogs().Plain(&w_, QString::fromStdString(text)); }
    void Sent(const LCmd& framed) override { w_.log_->LogFrame(framed, Direction::Sent, 0); }
    void Ended(UpdateEnd how, int code) override
    {
        switch (how) {
        case UpdateEnd::LineFailed:
            // The ordinary connection-error box; Ignore leaves the update started.
            w_.Device().AskAfterFailure(code);
            break;
        case UpdateEnd::NoBootLoader:
            // The user hears of it and the line is free for Update2 or a new connection.
            w_.Disconnect();
            w_.Dialogs().Error(&w_, QStringLiteral("Error Recommand !!"));
            break;
        default:
            w_.Disconnect();
            break;
        }
    }

private:
    TfrmMain& w_;
};

void TfrmMain::UpdateDeleter::operator()(UpdateRun* run) const
{
    delete run;
}

void TfrmMain::UpdateDeleter::operator()(UpdateWindowView* view) const
{
    delete view;
}

bool TfrmMain::Updating() const
{
    return update_ && update_->Active();
}

bool TfrmMain::UpdateLineOpen() const
{
    return update_ && update_->Line() != nullptr;
}

void TfrmMain::EndUpdate()
{
    if (Updating()) {
        update_->End();
        sbMain->SetSimplePanel(false);
    }
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
    EndUpdate();  // one left without its line (Ignore) ends here
    if (!updateView_) {
        updateView_.reset(new UpdateWindowView(*this));
    }
    if (update_) {
        update_.release()->deleteLater();  // it may be handling a reply of its own still
    }
    update_.reset(new UpdateRun(*updateView_, image, Device().SilenceLimitMs()));
    // The port that does not open leaves nothing open and says nothing.
    if (update_->Start(Device().Port().number, Device().Port().name, inBootLoader)) {
        ShowConnectionState(Device().ConnectedText());
    }
}
