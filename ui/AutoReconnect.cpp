#include "AutoReconnect.h"

#include "Connection.h"
#include "Fmain.h"
#include "Language.h"
#include "Lcomm.h"

#include <QCheckBox>
#include <QTimer>

namespace {
constexpr int kIdWaiting = 30136;
constexpr int kIdBack = 30137;
}  // namespace

AutoReconnect::AutoReconnect(TfrmMain& window, QCheckBox& box) : w_(window), box_(box), retry_(new QTimer(this))
{
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, &AutoReconnect::Try);
    // Unticking ends a wait at once; the port stays closed as without the box.
    connect(&box_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && retry_->isActive()) {
            retry_->stop();
            w_.ShowMessage(QString());
        }
    });
}

bool AutoReconnect::Waiting() const
{
    return retry_->isActive();
}

QString AutoReconnect::WaitingText() const
{
    return LoadStr(kIdWaiting).arg(w_.ConnectionName());
}

bool AutoReconnect::OnLinkError(int code)
{
    // The port itself failed; silence (0) from a port that is still there
    // and the updater's line are left to the box.
    const bool vanished = code == kErrPortFailed || code == kErrReadFailed;
    if (!box_.isChecked() || !vanished || w_.UpdateMode) {
        return false;
    }
    w_.Disconnect();
    StartWaiting();
    return true;
}

void AutoReconnect::WaitIfMissing()
{
    if (box_.isChecked() && !w_.Connected()) {
        StartWaiting();
    }
}

void AutoReconnect::StartWaiting()
{
    w_.ShowMessage(WaitingText());
    retry_->start();
}

void AutoReconnect::Try()
{
    // The user connected meanwhile, or closed the window: nothing to wait for.
    if (w_.Connected() || !w_.isVisible()) {
        retry_->stop();
        return;
    }
    // The port opens on its reader thread, so the window keeps answering
    // while a network port takes its time; one attempt at a time.
    if (w_.Device().Opening()) {
        return;
    }
    w_.Device().ConnectInBackground([this](bool connected) {
        if (connected) {
            retry_->stop();
            w_.Device().ShowDeviceMessage(LoadStr(kIdBack).arg(w_.ConnectionName()));
        } else if (retry_->isActive()) {
            // The attempt said why it failed; the wait goes on, and says so.
            w_.ShowMessage(WaitingText());
        }
    });
}
