#include "UpdateRun.h"

#include "Commands.h"
#include "DeliverReply.h"
#include "EventHandoff.h"
#include "InterruptedUpdate.h"
#include "LCommProc.h"
#include "LineSettings.h"
#include "PortName.h"

#include <QTimer>

// The updater's outside world: the run's line and its view.
class UpdateRun::Host final : public UpdateHost {
public:
    explicit Host(UpdateRun& run) : run_(run) {}

    void SendRaw(const LCmd& command) override { run_.SendRaw(command); }
    void SetStatusText(const std::string& text) override
    {
        if (text == "Update OK") {
            run_.finished_ = true;
            NoteUpdateEnded(run_.port_);
        }
        run_.shown_.Status(text);
        run_.view_.Progress(run_.shown_);
    }
    void SetProgress(int position) override
    {
        run_.shown_.Position(position);
        run_.view_.Progress(run_.shown_);
    }
    bool SetBaudRate(int rate) override { return run_.line_ && run_.line_->SetBaudRate(rate); }
    void After(int ms, std::function<void()> action) override
    {
        run_.pending_ = std::move(action);
        run_.timer_->start(ms);
    }
    void Information(const std::string& text) override { run_.view_.Information(text); }
    void Error(const std::string& text) override { run_.view_.Error(text); }
    void Plain(const std::string& text) override { run_.view_.Plain(text); }
    void Disconnect() override { run_.Finish(run_.finished_ ? UpdateEnd::Finished : UpdateEnd::NotInBootLoader); }

private:
    UpdateRun& run_;
};

UpdateRun::UpdateRun(UpdateView& view, ByteVector image, int silenceLimitMs)
    : view_(view), host_(std::make_unique<Host>(*this)), update_(*host_, std::move(image)),
      silenceLimitMs_(silenceLimitMs), timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        // An end meanwhile (a close, a failure) leaves the step undone.
        if (active_ && line_ && pending_) {
            const std::function<void()> action = std::move(pending_);
            action();
        }
    });
}

UpdateRun::~UpdateRun()
{
    CloseLine();
}

bool UpdateRun::Start(int portNumber, const QString& portName, bool inBootLoader)
{
    End();
    portNumber_ = portNumber;
    port_ = comm::ResolvePortName(portNumber, portName);
    line_ = std::make_unique<LCommProc>(this);
    line_->SetSilenceLimitMs(silenceLimitMs_);
    line_->SetPortName(portName);
    const int baud = inBootLoader ? LUpdate::kBootLoaderBaud : comm::LineSettings{}.baudRate;
    if (!line_->Open(portNumber, comm::LineSettings::At(baud))) {
        CloseLine();
        return false;
    }
    NoteUpdateBegun(port_);  // until it ends well: kestractl doctor then names the boot loader
    active_ = true;
    finished_ = false;
    tries_ = 0;
    shown_ = UpdateProgress();
    update_.SetState(0);
    view_.Progress(shown_);  // a new update starts empty
    if (inBootLoader) {
        SendRaw(CM_MCS_START(boot::kStart));
    } else {
        const CM_MCS_IAP_RESET reset(sub::kIapReset);
        line_->Send(reset.MakeFrame(frame::kModeFramed));
        view_.Sent(reset);
    }
    return true;
}

void UpdateRun::End()
{
    active_ = false;
    CloseLine();
}

void UpdateRun::CloseLine()
{
    pending_ = nullptr;
    timer_->stop();
    if (std::unique_ptr<LCommProc> line = std::move(line_)) {
        line->Close();
    }
}

void UpdateRun::Finish(UpdateEnd how, int code)
{
    // Started it stays, until its owner ends it: the window keeps an update
    // whose line failed when the user says Ignore.
    CloseLine();
    view_.Ended(how, code);
}

void UpdateRun::SendRaw(const LCmd& command)
{
    // Raw bytes are collected raw even when they happen to look like a frame.
    if (line_) {
        line_->Send(command.MakeFrame(frame::kModeRaw), frame::kModeRaw);
    }
}

bool UpdateRun::event(QEvent* e)
{
    // The reader thread released the event when it posted it; the run may
    // live on any thread (kestractl runs one per port).
    comm::AcquireEvent(e);
    if (DeliverReply(e, [this] { return line_.get(); }, [this](const RecCompleteEvent& r) { OnReply(r.Reply()); })) {
        return true;
    }
    if (e->type() == kCommErrEvent) {
        const auto& error = *static_cast<CommErrEvent*>(e);
        // An error of a driver since closed says nothing about this line.
        if (line_ && line_->Id() == error.DriverId()) {
            OnLineError(error.Code());
        }
        return true;
    }
    return QObject::event(e);
}

void UpdateRun::OnReply(const ByteVector& reply)
{
    if (!active_) {
        return;
    }
    tries_ = 0;  // something answers
    // In raw mode the sub byte is the byte itself.
    const LCmd frame(reply);
    update_.OnReply(frame.Sub(), frame.Payload());
}

void UpdateRun::OnLineError(int code)
{
    if (!active_) {
        return;
    }
    if (update_.GetState() == 0) {
        // Nothing answered at this speed: the device may already wait in its
        // boot loader. Try there, without bothering anyone, but only a few
        // times: a device that never answers must not keep the line busy.
        if (++tries_ <= kBootLoaderTries && RestartAtBootLoaderSpeed()) {
            update_.SetState(0);
            return;
        }
        Finish(UpdateEnd::NoBootLoader, code);
        return;
    }
    Finish(UpdateEnd::LineFailed, code);
}

bool UpdateRun::RestartAtBootLoaderSpeed()
{
    const comm::LineSettings fast = comm::LineSettings::At(LUpdate::kBootLoaderBaud);
    bool ok = line_->SetBaudRate(fast.baudRate);
    if (!ok && !line_->IsOpen()) {
        // The driver closes its port when its reader ends on an error, so
        // changing the speed alone would leave the run stuck: reopen.
        ok = line_->Open(portNumber_, fast);
    }
    if (ok) {
        SendRaw(CM_MCS_START(boot::kStart));
    }
    return ok;
}
