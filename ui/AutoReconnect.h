// Reconnecting by itself: when the box is ticked, a port that vanished
// (adapter unplugged, network link dropped) raises no error box. The status
// bar says what the panel waits for, the connection's engine opens the port
// again every kRetryMs (on its reader thread), and once it opens the full
// state is read as on any connection. Silence from a port that is still
// there stays the error box's business.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class DeviceConnection;
class QCheckBox;

class AutoReconnect : public QObject {
public:
    using MessageFn = std::function<void(const QString& text)>;

    // message: the status bar's message panel.
    AutoReconnect(DeviceConnection& device, QCheckBox& box, MessageFn message);

    static constexpr int kRetryMs = 500;

    // A serial error of the open connection; true when it was handled here
    // (the connection is dropped and the wait has begun).
    bool OnLinkError(int code);
    // Starts waiting when the box is ticked and no connection is open (the
    // port was missing when the panel started).
    void WaitIfMissing();
    // An open of the port (with its retries) is under way.
    bool Waiting() const;

private:
    void StartWaiting();
    QString WaitingText() const;

    DeviceConnection& device_;
    QCheckBox& box_;
    MessageFn message_;
};
