#include "HttpGuard.h"

#include "RelaySockets.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {
// How long a peer may go on sending after our side ended before it is cut off.
constexpr int kLingerMs = 2000;
// Descriptors for all but the connections: the device's port, OSC, MQTT, files, Qt's own.
constexpr int kOtherFiles = 96;
// One read, and what may wait in either direction of the relay before
// reading that side stops until it drains.
constexpr qsizetype kChunk = 64 * 1024;

qint64 Now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Qt HttpServer's end of a relayed connection: a local socket that tells
// the peer's and the listener's addresses, as the connection itself would.
class RelayedSocket : public QTcpSocket {
public:
    using QTcpSocket::QTcpSocket;
    bool Open(relay::Handle fd, relay::Handle connection)
    {
        if (!setSocketDescriptor(fd)) {
            return false;
        }
        const auto [local, localPort] = relay::Address(connection, false);
        const auto [peer, peerPort] = relay::Address(connection, true);
        setLocalAddress(local);
        setLocalPort(localPort);
        setPeerAddress(peer);
        setPeerPort(peerPort);
        return true;
    }
};

const char* Reason(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}
}  // namespace

QByteArray HttpRefusal(int status, const QByteArray& text)
{
    const QByteArray body = text + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// One accepted connection: its descriptor, relayed to and from Qt
// HttpServer's socket through a local pair, and where its byte stream stands.
class HttpGuard::Connection : public QObject {
public:
    enum class Phase {
        Open,       // relaying
        Ending,     // nothing more goes in; Qt HttpServer is closed once it answered what it was given
        Flushing,   // Qt HttpServer's side closed: the rest and the refusal go out, then our side ends
        Lingering,  // our side ended: what the peer still sends is dropped until it closes
    };

    Connection(relay::Handle fd, relay::Handle pair, QTcpSocket* s, HttpGuard* g)
        : QObject(g), peer(fd), inner(pair), socket(s), guard(g), peerAddress(s->peerAddress()), peerPort(s->peerPort()),
          framer(g->limits_, [this](const HttpHead& head, bool upgrade) {
              if (upgrade && answered < framer.Requests()) {
                  return HeadVerdict{400, "a WebSocket upgrade waits for the answers to the requests before it"};
              }
              HeadVerdict v = guard->check_(head, upgrade, *socket);
              if (upgrade && v.status == 0) {
                  guard->MakeRoom(*this, HttpFramer::State::Upgraded);
              }
              return v;
          })
    {
        QObject::connect(&peerIn, &QSocketNotifier::activated, this, [this] { OnPeerReadable(); });
        QObject::connect(&peerOut, &QSocketNotifier::activated, this, [this] { FlushPeer(); });
        QObject::connect(&innerIn, &QSocketNotifier::activated, this, [this] { OnInnerReadable(); });
        QObject::connect(&innerOut, &QSocketNotifier::activated, this, [this] { FlushInner(), Pump(); });
        QObject::connect(s, &QTcpSocket::bytesWritten, this, [this] { Pump(); });
        peerOut.setEnabled(false);
        innerOut.setEnabled(false);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { OnTimeout(); });
        timer.start(guard->limits_.requestTimeoutMs);
    }
    ~Connection() override
    {
        Shut();
        if (guard) {
            guard->Forget(this);
        }
    }

    void OnPeerReadable()
    {
        if (phase == Phase::Open && (toInner.size() >= kChunk || !unread.isEmpty())) {
            peerIn.setEnabled(false);  // until Qt HttpServer took what waits
            return;
        }
        QByteArray data(kChunk, Qt::Uninitialized);
        const qint64 n = relay::Receive(peer, data.data(), data.size());
        if (n <= 0) {
            n == 0 ? OnPeerEnded() : n == relay::kWouldBlock ? void() : Close();
            return;
        }
        if (phase != Phase::Open || !socket) {
            return;  // refused or closing: dropped
        }
        lastActive = Now();
        data.truncate(n);
        unread = std::move(data);
        Pump();
        if (framer.state() == HttpFramer::State::Upgraded) {
            CheckBacklog();
        }
    }

    // Unsent answers: Qt HttpServer's and ours.
    qint64 Backlog() const { return (socket ? socket->bytesToWrite() : 0) + toPeer.size(); }

    // Lets what was read through the framer as far as the bounds allow:
    // with maxPipelined requests unanswered, or more than maxBacklog bytes
    // of answers unsent, the rest waits and the peer is not read.
    void Pump()
    {
        if (!guard || peer == relay::kNoHandle) {
            return;  // closed: its notifiers stay off
        }
        const HttpLimits& l = guard->limits_;
        while (phase == Phase::Open && socket && !unread.isEmpty() && toInner.size() < kChunk &&
               (framer.state() != HttpFramer::State::Head ||
                (framer.Requests() - answered < l.maxPipelined && Backlog() <= l.maxBacklog))) {
            const bool wasInRequest = framer.InRequest();
            const bool wasInBody = framer.state() == HttpFramer::State::Body;
            const int requests = framer.Requests();
            const auto refused = framer.Feed(unread, answered + l.maxPipelined);
            const qsizetype taken = framer.Taken();
            held += unread.left(taken);
            unread.remove(0, taken);
            fed += taken;
            const qint64 pass = framer.Passed() - (fed - held.size());
            toInner += held.left(pass);
            held.remove(0, pass);
            FlushInner();
            if (refused) {
                guard->Refuse(*this, refused->status, refused->text);
            } else if (framer.state() == HttpFramer::State::Closed) {
                End();  // the rest is dropped
            } else if (framer.state() == HttpFramer::State::Upgraded) {
                timer.stop();
            } else if (framer.InRequest() && (!wasInRequest || framer.Requests() != requests)) {
                timer.start(l.requestTimeoutMs);
                if (framer.state() == HttpFramer::State::Body && (!wasInBody || framer.Requests() != requests)) {
                    guard->MakeRoom(*this, HttpFramer::State::Body);
                }
            } else if (!framer.InRequest()) {
                timer.start(l.idleTimeoutMs);
            }
        }
        peerIn.setEnabled(!peerEnded && (phase != Phase::Open || (unread.isEmpty() && toInner.size() < kChunk)));
    }

    // The peer sent all it will. Its requests are still answered: a client
    // may half-close after its request (`nc -N`, shutdown(SHUT_WR)).
    void OnPeerEnded()
    {
        peerEnded = true;
        peerIn.setEnabled(false);
        if (phase == Phase::Lingering || framer.state() == HttpFramer::State::Upgraded) {
            Close();
        } else if (phase == Phase::Open && framer.InRequest()) {
            guard->Refuse(*this, 400, "the connection ended within a request");
        } else if (phase == Phase::Open) {
            End();
        }
    }

    void OnInnerReadable()
    {
        if (toPeer.size() >= kChunk) {
            innerIn.setEnabled(false);  // until the peer took what waits
            return;
        }
        QByteArray data(kChunk, Qt::Uninitialized);
        const qint64 n = relay::Receive(inner, data.data(), data.size());
        if (n <= 0) {
            if (n != relay::kWouldBlock) {
                OnInnerEnded();
            }
            return;
        }
        toPeer.append(data.constData(), n);
        // Answers going out count as activity: a slow device answer is no idle client.
        if (phase == Phase::Open && framer.state() == HttpFramer::State::Head && !framer.InRequest()) {
            timer.start(guard->limits_.idleTimeoutMs);
        }
        FlushPeer();
    }

    // Qt HttpServer closed its end: after the last of its output, the refusal
    // (if any) goes out and our side of the connection ends.
    void OnInnerEnded()
    {
        innerIn.setEnabled(false);
        innerOut.setEnabled(false);
        if (phase == Phase::Flushing || phase == Phase::Lingering) {
            return;
        }
        phase = Phase::Flushing;
        toInner.clear();
        toPeer += farewell;
        timer.start(guard->limits_.requestTimeoutMs);  // to take the rest
        FlushPeer();
    }

    void FlushPeer()
    {
        while (!toPeer.isEmpty()) {
            const qint64 n = relay::Send(peer, toPeer.constData(), toPeer.size());
            if (n < 0) {
                n == relay::kWouldBlock ? peerOut.setEnabled(true) : Close();
                return;
            }
            toPeer.remove(0, n);
        }
        peerOut.setEnabled(false);
        if (phase == Phase::Flushing) {
            ShutdownPeer();
        } else if (phase != Phase::Lingering) {
            innerIn.setEnabled(true);
        }
    }

    void FlushInner()
    {
        while (!toInner.isEmpty()) {
            const qint64 n = relay::Send(inner, toInner.constData(), toInner.size());
            if (n < 0) {
                n == relay::kWouldBlock ? innerOut.setEnabled(true) : toInner.clear();  // else its end follows
                return;
            }
            toInner.remove(0, n);
        }
        innerOut.setEnabled(false);
    }

    // Nothing more goes to Qt HttpServer. The answers to the requests it
    // has are awaited, in order, then it is closed.
    void End()
    {
        phase = Phase::Ending;
        held.clear();
        unread.clear();
        timer.start(guard->limits_.idleTimeoutMs);  // for the answers
        EndWhenAnswered();
    }

    void EndWhenAnswered()
    {
        if (phase == Phase::Ending && answered >= framer.Requests() && socket) {
            socket->disconnectFromHost();  // it writes what it holds, then its end closes
        }
    }

    // The answer is out: end our side, and read (and drop) what the peer
    // still sends until it closes. Closing with its bytes unread would reset
    // the connection, and the peer could lose the answer.
    void ShutdownPeer()
    {
        relay::ShutdownSending(peer);
        phase = Phase::Lingering;
        if (peerEnded) {
            Close();
            return;
        }
        peerIn.setEnabled(true);
        timer.start(kLingerMs);
    }

    void OnTimeout()
    {
        if (phase != Phase::Open) {
            Close();  // no answer came, the peer took nothing, or it did not close
        } else if (framer.InRequest()) {
            guard->Refuse(*this, 408, "request not complete within " +
                                          QByteArray::number(guard->limits_.requestTimeoutMs / 1000) + " s");
        } else if (framer.state() == HttpFramer::State::Head) {
            End();
        }
    }

    void CheckBacklog()
    {
        if (socket && socket->bytesToWrite() > guard->limits_.maxBacklog) {
            emit guard->refused(QStringLiteral("http: %1: more than %2 bytes unread, closed")
                                    .arg(peerAddress.toString())
                                    .arg(guard->limits_.maxBacklog));
            Close();
        }
    }

    // Both ends close now; Qt's socket sees the end of its pair and goes.
    void Close()
    {
        if (Shut() && guard) {
            guard->Forget(this);
            deleteLater();
        }
    }

    bool Shut()
    {
        if (peer == relay::kNoHandle) {
            return false;
        }
        for (QSocketNotifier* n : {&peerIn, &peerOut, &innerIn, &innerOut}) {
            n->setEnabled(false);
        }
        relay::Close(peer);
        relay::Close(inner);
        peer = inner = relay::kNoHandle;
        timer.stop();
        return true;
    }

    // Which is closed first to make room (lowest first, then the one idle
    // longest): done but for the peer's close; idle between requests; still
    // sending its head; in its body; owed answers or closing; a WebSocket.
    int Rank() const
    {
        using S = HttpFramer::State;
        if (phase == Phase::Lingering) {
            return 0;
        }
        if (phase != Phase::Open || answered < framer.Requests()) {
            return framer.state() == S::Upgraded ? 5 : 4;
        }
        switch (framer.state()) {
        case S::Head: return framer.InRequest() ? 2 : 1;
        case S::Body: return 3;
        case S::Upgraded: return 5;
        default: return 4;
        }
    }

    relay::Handle peer;
    relay::Handle inner;
    QSocketNotifier peerIn{peer, QSocketNotifier::Read};
    QSocketNotifier peerOut{peer, QSocketNotifier::Write};
    QSocketNotifier innerIn{inner, QSocketNotifier::Read};
    QSocketNotifier innerOut{inner, QSocketNotifier::Write};
    QPointer<QTcpSocket> socket;
    QPointer<HttpGuard> guard;
    QHostAddress peerAddress;
    quint16 peerPort;
    HttpFramer framer;
    Phase phase = Phase::Open;
    QByteArray unread;   // read, not yet taken by the framer (the bounds hold it back)
    QByteArray held;     // taken, not yet let through (a head still coming)
    QByteArray toInner;  // let through, not yet taken by Qt HttpServer's socket
    QByteArray toPeer;   // Qt HttpServer's output, not yet taken by the peer
    QByteArray farewell; // the refusal, written after the answers before it
    qint64 fed = 0;
    qint64 lastActive = Now();  // the peer's last bytes
    int answered = 0;
    bool peerEnded = false;
    QTimer timer;
};

HttpGuard::HttpGuard(HttpLimits limits, Check check, QObject* parent)
    : QTcpServer(parent), limits_(limits), check_(std::move(check))
{
    // Three descriptors a connection; the cap is lowered to what fits.
    limits_.maxConnections = relay::FitConnections(limits_.maxConnections, 3, kOtherFiles);
    // Qt stops accepting for good when an accept fails (out of descriptors all
    // the same): take it up again shortly.
    connect(this, &QTcpServer::acceptError, this, [this] { QTimer::singleShot(100, this, [this] { resumeAccepting(); }); });
}

HttpGuard::~HttpGuard()
{
    for (Connection* c : connections_) {
        c->guard = nullptr;
    }
}

void HttpGuard::incomingConnection(qintptr handle)
{
    // At the cap some connection always makes room: whatever kind of
    // connection fills it, a new request gets through.
    if (Connections() >= limits_.maxConnections) {
        const auto it = std::min_element(connections_.begin(), connections_.end(), [](const Connection* a, const Connection* b) {
            return std::pair(a->Rank(), a->lastActive) < std::pair(b->Rank(), b->lastActive);
        });
        if ((*it)->Rank() > 1) {
            emit refused(QStringLiteral("http: %1: closed to make room for a new connection (%2 open)")
                             .arg((*it)->peerAddress.toString())
                             .arg(limits_.maxConnections));
        }
        (*it)->Close();
    }
    const relay::Handle fd = handle;
    relay::Handle pair[2];
    if (!relay::PrepareAccepted(fd) || !relay::MakePair(pair)) {
        relay::Close(fd);
        return;
    }
    auto* socket = new RelayedSocket(this);
    if (!socket->Open(pair[1], fd)) {
        delete socket;
        relay::Close(pair[0]);
        relay::Close(pair[1]);
        relay::Close(fd);
        return;
    }
    connections_.push_back(new Connection(fd, pair[0], socket, this));
    addPendingConnection(socket);  // Qt HttpServer takes it from here
}

void HttpGuard::Refuse(Connection& c, int status, const QByteArray& text)
{
    emit refused(QStringLiteral("http: %1: %2 %3").arg(c.peerAddress.toString()).arg(status).arg(QString::fromUtf8(text)));
    c.farewell = HttpRefusal(status, text);
    c.End();
}

void HttpGuard::MakeRoom(Connection& c, HttpFramer::State state)
{
    const bool body = state == HttpFramer::State::Body;
    const int all = body ? limits_.maxBodies : std::numeric_limits<int>::max();
    const int perPeer = body ? limits_.maxBodiesPerPeer : limits_.maxUpgradedPerPeer;
    // A peer over its share loses its own oldest; over the limit for all, the oldest of all goes.
    for (const bool samePeer : {true, false}) {
        std::vector<Connection*> kindOf;
        for (Connection* o : connections_) {
            if (o != &c && o->phase == Connection::Phase::Open && o->framer.state() == state &&
                (!samePeer || o->peerAddress.isEqual(c.peerAddress))) {
                kindOf.push_back(o);
            }
        }
        if (static_cast<int>(kindOf.size()) < (samePeer ? perPeer : all)) {
            continue;
        }
        Connection* oldest = *std::min_element(kindOf.begin(), kindOf.end(),
                                               [](const Connection* a, const Connection* b) { return a->lastActive < b->lastActive; });
        const QByteArray why = body ? "too many requests in their body" + QByteArray(samePeer ? " from this address" : "") +
                                          "; this one had sent nothing for longest"
                                    : QByteArray("too many WebSockets from this address; this one had sent nothing for longest");
        if (body) {
            Refuse(*oldest, 503, why);
        } else {
            emit refused(QStringLiteral("http: %1: %2, closed").arg(oldest->peerAddress.toString(), QString::fromLatin1(why)));
            oldest->Close();
        }
    }
}

void HttpGuard::Answered(const QTcpSocket* socket)
{
    const auto it = std::find_if(connections_.begin(), connections_.end(), [socket](Connection* c) { return c->socket.data() == socket; });
    if (it != connections_.end()) {
        Connection* c = *it;
        ++c->answered;
        // Not within the answer's own writing: Qt HttpServer may still hold the socket.
        QMetaObject::invokeMethod(c, [c] { c->EndWhenAnswered(), c->Pump(); }, Qt::QueuedConnection);
    }
}

int HttpGuard::Paused() const
{
    return static_cast<int>(std::count_if(connections_.begin(), connections_.end(), [](const Connection* c) {
        return c->phase == Connection::Phase::Open && !c->unread.isEmpty();
    }));
}

qint64 HttpGuard::Buffered() const
{
    qint64 sum = 0;
    for (const Connection* c : connections_) {
        sum += c->unread.size() + c->held.size() + c->toInner.size() + c->Backlog();
    }
    return sum;
}

int HttpGuard::Rank(quint16 peerPort) const
{
    const auto it = std::find_if(connections_.begin(), connections_.end(), [peerPort](const Connection* c) { return c->peerPort == peerPort; });
    return it == connections_.end() ? -1 : (*it)->Rank();
}

void HttpGuard::Forget(Connection* c)
{
    connections_.remove(c);
}
