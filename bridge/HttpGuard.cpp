#include "HttpGuard.h"

#include <QPointer>

#include <algorithm>
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

std::optional<HttpFramer::Refusal> HttpFramer::Feed(QByteArrayView bytes)
{
    qsizetype pos = 0;
    while (pos < bytes.size() && (state_ == State::Head || state_ == State::Body)) {
        if (state_ == State::Body) {
            const qint64 take = std::min<qint64>(bodyLeft_, bytes.size() - pos);
            pos += take;
            passed_ += take;
            bodyLeft_ -= take;
            if (bodyLeft_ == 0) {
                state_ = State::Head;
                ++requests_;
            }
            continue;
        }
        const qsizetype before = head_.size();
        head_.append(bytes.sliced(pos, std::min<qsizetype>(bytes.size() - pos, limits_.maxHead + 4 - before)));
        // The blank line ends the head; bare line feeds are taken as Qt HttpServer takes them.
        const qsizetype from = std::max<qsizetype>(0, before - 3);
        qsizetype end = head_.indexOf("\n\r\n", from);
        const qsizetype lf = head_.indexOf("\n\n", from);
        const qsizetype blank = end < 0 || (lf >= 0 && lf < end) ? 2 : 3;
        end = blank == 2 ? lf : end;
        // Over the limit once no blank line can begin within it any more.
        if (end > limits_.maxHead || (end < 0 && head_.size() > limits_.maxHead + 3)) {
            state_ = State::Refused;
            return Refusal{431, "request head over " + QByteArray::number(limits_.maxHead) + " bytes"};
        }
        if (end < 0) {
            return std::nullopt;
        }
        pos += end + blank - before;
        head_.truncate(end);
        if (auto refused = TakeHead()) {
            state_ = State::Refused;
            return refused;
        }
        passed_ += end + blank;
    }
    if (state_ == State::Upgraded) {
        passed_ += bytes.size() - pos;  // WebSocket frames: Qt WebSockets' own limits apply
    }
    return std::nullopt;
}

std::optional<HttpFramer::Refusal> HttpFramer::TakeHead()
{
    const std::optional<HttpHead> h = ParseHttpHead(head_);
    head_.clear();
    if (!h) {
        return Refusal{400, "not an HTTP/1.x request head"};
    }
    if (!h->value("Transfer-Encoding").isEmpty()) {
        return Refusal{411, "send the body with a Content-Length"};
    }
    // Digits only: any other reading than Qt HttpServer's would split the stream elsewhere.
    const QByteArray length = h->value("Content-Length");
    const bool digits = std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || length.size() > 18) {
        return Refusal{400, "Content-Length: not one number"};
    }
    const qint64 declared = length.isEmpty() ? 0 : length.toLongLong();
    if (declared > limits_.maxBody) {
        return Refusal{413, "body: " + length + " bytes, more than the " + QByteArray::number(limits_.maxBody) + " allowed"};
    }
    const bool upgrade = h->hasToken("Connection", "upgrade") && h->hasToken("Upgrade", "websocket");
    const HeadVerdict v = check_(*h, upgrade);
    if (v.status != 0) {
        return Refusal{v.status, v.text};
    }
    if (upgrade) {
        state_ = State::Upgraded;  // the WebSocket's own limits apply from here
        return std::nullopt;
    }
    bodyLeft_ = declared;
    state_ = bodyLeft_ > 0 ? State::Body : State::Head;
    requests_ += bodyLeft_ > 0 ? 0 : 1;
    return std::nullopt;
}

// One accepted socket and where its byte stream stands.
class HttpGuard::Connection : public QObject {
public:
    Connection(QTcpSocket* s, HttpGuard* g)
        : QObject(s), socket(s), guard(g),
          framer(g->limits_, [s, g](const HttpHead& head, bool upgrade) { return g->check_(head, upgrade, *s); })
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
        if (closing) {
            Drop();
            return;
        }
        if (framer.state() == HttpFramer::State::Upgraded) {
            CheckBacklog();
            return;
        }
        const QByteArray data = socket->peek(socket->bytesAvailable());
        const bool wasInRequest = framer.InRequest();
        const int requests = framer.Requests();
        if (auto refused = framer.Feed(QByteArrayView(data).sliced(std::min<qsizetype>(leftover, data.size())))) {
            guard->Refuse(*this, refused->status, refused->text);
        } else if (framer.state() == HttpFramer::State::Upgraded) {
            timer.stop();
        } else if (framer.InRequest() && (!wasInRequest || framer.Requests() != requests)) {
            timer.start(guard->limits_.requestTimeoutMs);
        } else if (!framer.InRequest()) {
            timer.start(guard->limits_.idleTimeoutMs);
        }
    }

    // Bytes Qt HttpServer left in the buffer: seen already.
    void AfterReadyRead() { leftover = socket->bytesAvailable(); }

    // Answers going out count as activity: a slow device answer is no idle client.
    void OnBytesWritten()
    {
        if (closing && socket->bytesToWrite() == 0) {
            ShutdownWrite();
        } else if (!closing && framer.state() == HttpFramer::State::Head && !framer.InRequest()) {
            timer.start(guard->limits_.idleTimeoutMs);
        }
    }

    void OnTimeout()
    {
        if (closing) {
            socket->abort();  // the peer did not close after the refusal
        } else if (framer.InRequest()) {
            guard->Refuse(*this, 408, "request not complete within " +
                                          QByteArray::number(guard->limits_.requestTimeoutMs / 1000) + " s");
        } else if (framer.state() == HttpFramer::State::Head) {
            closing = true;
            socket->disconnectFromHost();
        }
    }

    void CheckBacklog()
    {
        if (socket->bytesToWrite() > guard->limits_.maxBacklog) {
            emit guard->refused(QStringLiteral("http: %1: more than %2 bytes unread, closed")
                                    .arg(socket->peerAddress().toString())
                                    .arg(guard->limits_.maxBacklog));
            closing = true;
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

    // Drops what came in. Qt HttpServer reads in a transaction, which would
    // keep every byte skipped: it never reads this connection again.
    void Drop()
    {
        socket->skip(socket->bytesAvailable());
        if (socket->isTransactionStarted()) {
            socket->commitTransaction();
        }
    }

    // Evictable at the cap: no request under way, or one still in its head.
    bool Evictable() const { return !closing && framer.state() == HttpFramer::State::Head; }

    QTcpSocket* socket;
    QPointer<HttpGuard> guard;
    HttpFramer framer;
    bool closing = false;
    bool shutDown = false;
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
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(HttpRefusal(503, "too many connections"));
            socket->disconnectFromHost();
            return;
        }
        Connection* oldest = *it;
        oldest->closing = true;
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
    c.closing = true;
    c.Drop();  // Qt HttpServer never sees this request
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
        if (c->framer.state() == HttpFramer::State::Upgraded) {
            connect(c->socket, &QTcpSocket::readyRead, c, &Connection::OnReadyRead, Qt::UniqueConnection);
        }
    }
}
