#include "AutoReconnect.h"

#include "Connection.h"
#include "Language.h"
#include "Lcomm.h"

#include <QCheckBox>

#include <utility>

namespace {
constexpr int kIdWaiting = 30136;
constexpr int kIdBack = 30137;
}  // namespace

AutoReconnect::AutoReconnect(DeviceConnection& device, QCheckBox& box, MessageFn message)
    : device_(device), box_(box), message_(std::move(message))
{
    // Unticking ends a wait at once; the port stays closed as without the box.
    connect(&box_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && Waiting()) {
            device_.DropOpening();
            message_(QString());
        }
    });
}

bool AutoReconnect::Waiting() const
{
    return device_.Opening();
}

QString AutoReconnect::WaitingText() const
{
    return LoadStr(kIdWaiting).arg(device_.ConnectionName());
}

bool AutoReconnect::OnLinkError(int code)
{
    // The port itself failed; silence (0) from a port that is still there
    // is left to the box.
    const bool vanished = code == kErrPortFailed || code == kErrReadFailed;
    if (!box_.isChecked() || !vanished) {
        return false;
    }
    device_.Disconnect();
    StartWaiting();
    return true;
}

void AutoReconnect::WaitIfMissing()
{
    if (box_.isChecked() && !device_.Connected()) {
        StartWaiting();
    }
}

void AutoReconnect::StartWaiting()
{
    if (Waiting()) {
        return;
    }
    message_(WaitingText());
    // One open at a time, on the reader thread, so the window keeps
    // answering while a network port takes its time; the engine tries again
    // after each failure until the port opens or the wait ends.
    device_.ConnectInBackground(
        [this](bool connected) {
            if (connected) {
                device_.ShowDeviceMessage(LoadStr(kIdBack).arg(device_.ConnectionName()));
            } else {
                // The attempt said why it failed; the wait goes on, and says so.
                message_(WaitingText());
            }
        },
        kRetryMs);
}
