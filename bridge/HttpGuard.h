// The listening side of `kestractl serve`, in front of Qt HttpServer. Qt
// HttpServer 6.4 reads a whole request, body included, before its handler
// sees it, and has no limits or timeouts of its own.
//
// This server keeps each accepted connection to itself and relays it to Qt
// HttpServer over a local socket pair, whose Qt end carries the peer's
// addresses. Only what HttpFramer let through goes on: a head that is too
// long, a body declared too large, a Host the server does not answer to, ...
// is answered here, after the answers to the requests before it, and the
// connection closed, before its body is buffered anywhere.
//
// Owning the connection is also what lets a peer half-close: Qt's socket
// closes outright when it reads the end of the peer's input, losing an
// answer still to come. Here the peer's end only stops the input; the
// connection closes once every request taken has been answered. The price:
// three descriptors a connection (itself and the pair), which the service
// unit's open-file limit allows for.
//
// It also caps the open connections: at the cap one is closed for the new
// one, the first of (each kind the one idle longest) one between requests,
// one still sending its head, one in its body, one owed answers, a
// WebSocket; a peer address over its share of bodies or WebSockets loses
// its own oldest, and all bodies over theirs the oldest of them. It
// closes a connection whose request is not complete within the request
// timeout or that stays idle, and closes an upgraded (WebSocket) connection
// whose peer leaves more than maxBacklog bytes unread. A WebSocket upgrade
// behind requests still unanswered is refused (400): its 101 would overtake
// their answers; so is a head that asks for an upgrade but is no valid
// WebSocket handshake.
//
// A peer that sends requests without reading the answers does not make the
// server hold them: at most maxPipelined requests go on unanswered, and none
// while more than maxBacklog bytes of answers wait for the peer. Reading
// from it stops until they drained. `Connection: close`, and HTTP/1.0 without
// keep-alive, close the connection after that request's answer.
#pragma once

#include "HttpFramer.h"

#include <QByteArray>
#include <QTcpServer>

#include <functional>
#include <list>

class HttpGuard : public QTcpServer {
    Q_OBJECT
public:
    // `upgrade`: the head asks for a WebSocket (Upgrade and Connection).
    using Check = std::function<HeadVerdict(const HttpHead& head, bool upgrade, const QTcpSocket& socket)>;
    HttpGuard(HttpLimits limits, Check check, QObject* parent = nullptr);
    ~HttpGuard() override;

    int Connections() const { return static_cast<int>(connections_.size()); }
    // Connections whose reading waits for their answers to drain.
    int Paused() const;
    // Bytes held for all connections: read and not yet taken, and answers unsent.
    qint64 Buffered() const;
    // Where the connection from that peer port stands in the order closed at
    // the cap (0 first, 5 last), -1 when there is none.
    int Rank(quint16 peerPort) const;
    const HttpLimits& Limits() const { return limits_; }
    // Qt HttpServer has written the answer to one request on `socket`.
    void Answered(const QTcpSocket* socket);

signals:
    void refused(const QString& line);

protected:
    void incomingConnection(qintptr handle) override;

private:
    class Connection;
    void Refuse(Connection& c, int status, const QByteArray& text);
    // `c` has begun a body or a WebSocket (an HttpFramer::State): others of
    // its kind go if it is over that kind's limits.
    void MakeRoom(Connection& c, HttpFramer::State kind);
    void Forget(Connection* c);

    HttpLimits limits_;
    Check check_;
    std::list<Connection*> connections_;  // oldest first
};

// The answer text for a refusal: a status line, a short plain-text body and
// Connection: close.
QByteArray HttpRefusal(int status, const QByteArray& text);
