#include "HttpGuard.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {
// How long a refused peer may go on sending before it is cut off.
constexpr int kLingerMs = 2000;

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

QByteArray HttpHead::value(const QByteArray& name) const
{
    QByteArray out;
    for (const auto& [key, v] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            out += (out.isEmpty() ? QByteArray() : QByteArrayLiteral(", ")) + v;
        }
    }
    return out;
}

bool HttpHead::hasToken(const QByteArray& name, const QByteArray& token) const
{
    for (const QByteArray& t : value(name).split(',')) {
        if (t.trimmed().compare(token, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

std::optional<HttpHead> ParseHttpHead(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || first[0].isEmpty() || first[1].isEmpty() || !first[2].startsWith("HTTP/1.")) {
        return std::nullopt;
    }
    HttpHead h{first[0], first[1], first[2], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).contains(' ') || line.left(colon).contains('\t')) {
            return std::nullopt;  // no header folding, no space before the colon (request smuggling)
        }
        h.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return h;
}

QByteArray HttpRefusal(int status, const QByteArray& text)
{
    const QByteArray body = text + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// One accepted socket and where its byte stream stands.
class HttpGuard::Connection : public QObject {
public:
    enum Phase { Head, Body, Upgraded, Closing };
    Connection(QTcpSocket* s, HttpGuard* g) : QObject(s), socket(s), guard(g)
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { OnTimeout(); });
        timer.start(guard->limits_.requestTimeoutMs);
    }
    ~Connection() override
    {
        if (guard) {
            guard->Forget(this);
        }
    }

    void OnReadyRead()
    {
        if (!socket->isOpen()) {
            return;
        }
        if (phase == Upgraded) {
            CheckBacklog();
            return;
        }
        if (phase == Closing) {
            socket->skip(socket->bytesAvailable());
            return;
        }
        const QByteArray data = socket->peek(socket->bytesAvailable());
        qsizetype pos = std::min<qsizetype>(leftover, data.size());
        while (pos < data.size() && (phase == Head || phase == Body)) {
            if (phase == Body) {
                const qint64 take = std::min<qint64>(bodyLeft, data.size() - pos);
                pos += take;
                bodyLeft -= take;
                if (bodyLeft == 0) {
                    EndOfRequest();
                }
                continue;
            }
            if (!inRequest) {
                inRequest = true;
                timer.start(guard->limits_.requestTimeoutMs);
            }
            const qsizetype before = head.size();
            head += data.mid(pos, guard->limits_.maxHead + 4 - before);
            const qsizetype end = head.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
            if (end < 0) {
                if (head.size() > guard->limits_.maxHead) {
                    guard->Refuse(*this, 431, "request head over " + QByteArray::number(guard->limits_.maxHead) + " bytes");
                    return;
                }
                pos = data.size();
                break;
            }
            pos += end + 4 - before;
            head.truncate(end);
            if (!TakeHead()) {
                return;
            }
        }
    }

    // Bytes Qt HttpServer left in the buffer: seen already.
    void AfterReadyRead() { leftover = socket->bytesAvailable(); }

    bool TakeHead()
    {
        const std::optional<HttpHead> h = ParseHttpHead(head);
        head.clear();
        if (!h) {
            guard->Refuse(*this, 400, "not an HTTP/1.x request head");
            return false;
        }
        const HttpLimits& limits = guard->limits_;
        const QByteArray length = h->value("Content-Length");
        bool number = length.isEmpty();
        const qint64 declared = length.isEmpty() ? 0 : length.toLongLong(&number);
        if (!h->value("Transfer-Encoding").isEmpty()) {
            guard->Refuse(*this, 411, "send the body with a Content-Length");
            return false;
        }
        if (!number || declared < 0) {
            guard->Refuse(*this, 400, "Content-Length: not one number");
            return false;
        }
        if (declared > limits.maxBody) {
            guard->Refuse(*this, 413, "body: " + length + " bytes, more than the " + QByteArray::number(limits.maxBody) + " allowed");
            return false;
        }
        const bool upgrade = h->hasToken("Connection", "upgrade") && h->hasToken("Upgrade", "websocket");
        const HeadVerdict v = guard->check_(*h, upgrade, *socket);
        if (v.status != 0) {
            guard->Refuse(*this, v.status, v.text);
            return false;
        }
        if (upgrade) {
            phase = Upgraded;  // the WebSocket's own limits apply from here
            timer.stop();
            return true;
        }
        bodyLeft = declared;
        phase = Body;
        if (bodyLeft == 0) {
            EndOfRequest();
        }
        return true;
    }

    void EndOfRequest()
    {
        phase = Head;
        inRequest = false;
        timer.start(guard->limits_.idleTimeoutMs);
    }

    // Answers going out count as activity: a slow device answer is no idle client.
    void OnBytesWritten()
    {
        if (phase == Closing && socket->bytesToWrite() == 0) {
            ShutdownWrite();
            return;
        }
        if ((phase == Head || phase == Body) && !inRequest) {
            timer.start(guard->limits_.idleTimeoutMs);
        }
    }

    void OnTimeout()
    {
        if (phase == Closing) {
            socket->abort();  // the peer did not close after the refusal
            return;
        }
        if (phase == Upgraded) {
            return;
        }
        if (inRequest) {
            guard->Refuse(*this, 408, "request not complete within " +
                                          QByteArray::number(guard->limits_.requestTimeoutMs / 1000) + " s");
        } else {
            phase = Closing;
            socket->disconnectFromHost();
        }
    }

    void CheckBacklog()
    {
        if (socket->bytesToWrite() > guard->limits_.maxBacklog) {
            emit guard->refused(QStringLiteral("http: %1: more than %2 bytes unread, closed")
                                    .arg(socket->peerAddress().toString())
                                    .arg(guard->limits_.maxBacklog));
            phase = Closing;
            socket->abort();
        }
    }

    // The answer is out: end our side, and read (and drop) what the peer
    // still sends until it closes. Closing with its bytes unread would reset
    // the connection, and the peer could lose the answer.
    void ShutdownWrite()
    {
        if (!shutDown && socket->socketDescriptor() >= 0) {
            shutDown = true;
            ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
        }
    }

    // Evictable at the cap: no request under way, or one still in its head.
    bool Evictable() const { return phase == Head; }

    QTcpSocket* socket;
    QPointer<HttpGuard> guard;
    Phase phase = Head;
    bool inRequest = false;
    bool shutDown = false;
    QByteArray head;
    qint64 bodyLeft = 0;
    qint64 leftover = 0;
    QTimer timer;
};

HttpGuard::HttpGuard(HttpLimits limits, Check check, QObject* parent)
    : QTcpServer(parent), limits_(limits), check_(std::move(check))
{
}

HttpGuard::~HttpGuard()
{
    for (Connection* c : connections_) {
        c->guard = nullptr;
    }
}

void HttpGuard::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (Connections() >= limits_.maxConnections) {
        const auto it = std::find_if(connections_.begin(), connections_.end(), [](Connection* c) { return c->Evictable(); });
        if (it == connections_.end()) {
            socket->write(HttpRefusal(503, "too many connections"));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            return;
        }
        Connection* oldest = *it;
        oldest->phase = Connection::Closing;
        oldest->socket->abort();
    }
    auto* c = new Connection(socket, this);
    connections_.push_back(c);
    connect(socket, &QTcpSocket::readyRead, c, &Connection::OnReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, c, [c] { c->OnBytesWritten(); });
    addPendingConnection(socket);  // Qt HttpServer connects its slots here
    connect(socket, &QTcpSocket::readyRead, c, [c] { c->AfterReadyRead(); });
}

void HttpGuard::Refuse(Connection& c, int status, const QByteArray& text)
{
    emit refused(QStringLiteral("http: %1: %2 %3").arg(c.socket->peerAddress().toString()).arg(status).arg(QString::fromUtf8(text)));
    c.phase = Connection::Closing;
    c.socket->skip(c.socket->bytesAvailable());  // Qt HttpServer never sees this request
    c.socket->write(HttpRefusal(status, text));
    c.timer.start(kLingerMs);
    if (c.socket->flush(), c.socket->bytesToWrite() == 0) {
        c.ShutdownWrite();
    }
}

void HttpGuard::Forget(Connection* c)
{
    connections_.remove(c);
}

void HttpGuard::WatchUpgraded()
{
    for (Connection* c : connections_) {
        if (c->phase == Connection::Upgraded) {
            connect(c->socket, &QTcpSocket::readyRead, c, &Connection::OnReadyRead, Qt::UniqueConnection);
        }
    }
}
