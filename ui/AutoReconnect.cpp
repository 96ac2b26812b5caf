#include "AutoReconnect.h"

#include "Connection.h"
#include "Fmain.h"
#include "Language.h"
#include "Lcomm.h"

#include <QCheckBox>

namespace {
constexpr int kIdWaiting = 30136;
constexpr int kIdBack = 30137;
}  // namespace

AutoReconnect::AutoReconnect(TfrmMain& window, QCheckBox& box) : w_(window), box_(box)
{
    // Unticking ends a wait at once; the port stays closed as without the box.
    connect(&box_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && Waiting()) {
            w_.Device().DropOpening();
            w_.ShowMessage(QString());
        }
    });
}

bool AutoReconnect::Waiting() const
{
    return w_.Device().Opening();
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
    if (Waiting()) {
        return;
    }
    w_.ShowMessage(WaitingText());
    // One open at a time, on the reader thread, so the window keeps
    // answering while a network port takes its time; the engine tries again
    // after each failure until the port opens or the wait ends.
    w_.Device().ConnectInBackground(
        [this](bool connected) {
            if (connected) {
                w_.Device().ShowDeviceMessage(LoadStr(kIdBack).arg(w_.ConnectionName()));
            } else {
                // The attempt said why it failed; the wait goes on, and says so.
                w_.ShowMessage(WaitingText());
            }
        },
        kRetryMs);
}
