// The byte stream of one HTTP connection without its socket: heads parsed
// and checked against the limits, bodies measured, an upgrade seen. Pure, so
// that the fuzzer can drive it; HttpGuard feeds it what a peer sends.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>
#include <limits>
#include <optional>
#include <utility>

struct HttpLimits {
    int maxConnections = 1000;
    qsizetype maxHead = 16 * 1024;
    qsizetype maxBody = 64 * 1024;
    int requestTimeoutMs = 10000;  // from accept, or a request's first byte, to its end
    int idleTimeoutMs = 60000;     // a kept-alive connection with no request
    qint64 maxBacklog = 1024 * 1024;  // unsent bytes for one peer (answers, WebSocket messages)
    int maxPipelined = 16;            // requests let through on one connection, not yet answered
    // Connections in a request's body, and WebSockets, have limits of their
    // own below the cap, so that neither kind can hold all of it.
    int maxBodies = 100;
    int maxBodiesPerPeer = 10;
    int maxUpgradedPerPeer = 50;
};

struct HttpHead {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<std::pair<QByteArray, QByteArray>> headers;
    // The value of a header (names are case-insensitive), repeated ones joined by ", ".
    QByteArray value(const QByteArray& name) const;
    // Whether a comma-separated header holds `token` (case-insensitive).
    bool hasToken(const QByteArray& name, const QByteArray& token) const;
};

// The head without its blank line; nothing when it is not a request head.
std::optional<HttpHead> ParseHttpHead(const QByteArray& head);

// GET with Connection: Upgrade, Upgrade: websocket, version 13 and a key.
bool IsWebSocketHandshake(const HttpHead& head);

// The server's word on a head that passed the limits: status 0 goes on.
struct HeadVerdict {
    int status = 0;
    QByteArray text;
};

// The byte stream of one connection, request by request, without the
// socket: which head is taken, where a body ends, and what is refused.
class HttpFramer {
public:
    using Check = std::function<HeadVerdict(const HttpHead& head, bool upgrade)>;
    struct Refusal {
        int status;
        QByteArray text;
    };
    // Closed: the last request (Connection: close) is complete; nothing more is taken.
    enum class State { Head, Body, Upgraded, Refused, Closed };

    HttpFramer(const HttpLimits& limits, Check check) : limits_(limits), check_(std::move(check)) {}
    // Takes bytes not seen before, stopping once Requests() reached `upTo`
    // (the rest is to be fed again later); a refusal ends the stream
    // (nothing more is taken).
    std::optional<Refusal> Feed(QByteArrayView bytes, int upTo = std::numeric_limits<int>::max());
    // How many bytes the last Feed took.
    qsizetype Taken() const { return taken_; }
    State state() const { return state_; }
    // A request has begun (its first byte came) and is not complete.
    bool InRequest() const { return state_ == State::Body || (state_ == State::Head && !head_.isEmpty()); }
    int Requests() const { return requests_; }
    // Bytes of the stream that may go on to Qt HttpServer: whole heads
    // taken, their bodies, everything after an upgrade; never a refused head.
    qint64 Passed() const { return passed_; }

private:
    std::optional<Refusal> TakeHead();
    void Complete();

    HttpLimits limits_;
    Check check_;
    State state_ = State::Head;
    QByteArray head_;
    qint64 bodyLeft_ = 0;
    int requests_ = 0;
    qint64 passed_ = 0;
    qsizetype taken_ = 0;
    bool last_ = false;  // the request under way ends the connection
};
