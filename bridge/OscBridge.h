// `kestractl serve --osc`: OSC over UDP on the main thread. A message with an
// argument changes the device through the core; bad input is dropped with a
// log line (rate-limited) and never reaches the device.
//
// UDP senders can be forged, so a peer gets nothing larger than what it
// sent until it has shown that it receives what is sent to its address:
// /kestra/subscribe (or a query) from such a peer is answered only with
// /kestra/nonce i N (24 bytes, no larger than any message answered); the
// peer echoes it, /kestra/subscribe i N, and from then on is sent the
// whole state and every change for 10 s, renewed by each /kestra/subscribe
// with the nonce, and its queries are answered with the value. N depends on
// the peer's address and port and the minute (a keyed hash): nothing is
// kept for peers that never answer, and an old N is taken for one more minute.
//
// OSC has no authentication: whoever reaches the port may change the mixer,
// so it listens on the serve's own address (loopback by default).
#pragma once

#include "BridgeCalls.h"
#include "OscAddress.h"

#include "RefusalLog.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
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
    qint64 Nonce(const Peer& peer, qint64 minute) const;
    bool Subscribed(const Peer& peer) const;
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
    QByteArray secret_;
    QElapsedTimer clock_;
    RefusalLog log_;
};
