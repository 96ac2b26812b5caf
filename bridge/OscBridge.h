// `kestractl serve --osc`: OSC over UDP on the main thread. A message with an
// argument changes the device through the core, one without is answered
// with the current value, /kestra/subscribe sends the sender every change
// for 10 s (renewed by each /kestra/subscribe). Bad input is dropped with a
// log line and never reaches the device.
//
// OSC has no authentication: whoever reaches the port may change the mixer,
// so it listens on the serve's own address (loopback by default).
#pragma once

#include "BridgeCalls.h"
#include "OscAddress.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <utility>
#include <vector>

class OscBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int kSubscriptionMs = 10000;
    // Senders are not authenticated: a bound keeps forged subscriptions
    // from growing the list (and the traffic) without end.
    static constexpr std::size_t kMaxSubscribers = 64;

    explicit OscBridge(BridgeCalls calls, int subscriptionMs = kSubscriptionMs, QObject* parent = nullptr);

    // Binds the UDP port; false with the reason in `error`.
    bool Listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 Port() const { return socket_.localPort(); }
    int Subscribers() const { return static_cast<int>(subscribers_.size()); }

    // The core's signals.
    void OnStateChanged(const QJsonObject& mergePatch);

signals:
    void rejected(const QString& line);

private:
    using Peer = std::pair<QHostAddress, quint16>;
    void Read();
    void Handle(const QByteArray& bytes, const Peer& from);
    void Reject(const Peer& from, const QString& why);
    void Send(const Peer& to, const OscMessage& message);
    void DropExpired();

    BridgeCalls calls_;
    int subscriptionMs_;
    QUdpSocket socket_;
    QTimer expiry_;
    struct Subscriber {
        Peer peer;
        QDeadlineTimer until;
    };
    std::vector<Subscriber> subscribers_;
};
