// The server against hostile clients, over raw sockets: names it does not
// answer to, bodies and heads over the limits, pipelined requests, slow and
// silent connections, the connection and live-client caps, WebSocket frames
// over the limit and a live client that never reads. Then the rules under
// it: Host names, the kept token, the refusal log.
#include "BridgeFixture.h"
#include "MergePatch.h"
#include "RefusalLog.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <gmock/gmock.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kWsHandshake =
    "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

// The answers read from a connection: status and body of each, in order,
// until `count` arrived or the server closed. `headFirst`: the first answers
// a HEAD, so it has no body.
struct Answers {
    std::vector<std::pair<int, QByteArray>> list;
    bool closed = false;
};

Answers Exchange(quint16 port, const QByteArray& request, std::size_t count, bool headFirst = false, int timeoutMs = 5000)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.write(request);
    QByteArray in;
    Answers a;
    auto parse = [&] {
        while (true) {
            const qsizetype end = in.indexOf("\r\n\r\n");
            if (end < 0) {
                return;
            }
            const QByteArray head = in.left(end);
            const QRegularExpression length(QStringLiteral("(?i)content-length: *(\\d+)"));
            const auto m = length.match(QString::fromLatin1(head));
            const qsizetype body = headFirst && a.list.empty() ? 0 : (m.hasMatch() ? m.captured(1).toLongLong() : 0);
            if (in.size() < end + 4 + body) {
                return;
            }
            a.list.push_back({head.mid(9, 3).toInt(), in.mid(end + 4, body)});
            in.remove(0, end + 4 + body);
        }
    };
    WaitFor(
        [&] {
            in += s.readAll();
            parse();
            a.closed = s.state() == QAbstractSocket::UnconnectedState;
            return a.list.size() >= count || a.closed;
        },
        timeoutMs);
    EXPECT_TRUE(in.isEmpty()) << "left over: " << in.left(80).constData();
    return a;
}

class Guard : public BridgeFixture {
protected:
    void Start(const HttpLimits& limits = {}, int maxLive = 500)
    {
        server_.reset();
        core_.reset();
        StartBridge();
        ServeOptions o;
        o.port = 0;
        o.allowedHosts = {QStringLiteral("mixer.example")};
        o.limits = limits;
        o.maxLiveClients = maxLive;
        server_ = std::make_unique<BridgeServer>(*core_, o);
        ASSERT_TRUE(server_->start(nullptr));
    }
    QByteArray Host() const { return "Host: 127.0.0.1:" + QByteArray::number(server_->port()) + "\r\n"; }
};
}  // namespace

// One connection per row; the device sees only what the good rows ask for.
TEST_F(Guard, EachRequestIsAnsweredInOrderOrRefusedByItsHead)
{
    Start();
    const QByteArray port = QByteArray::number(server_->port());
    const QByteArray rebound = "Host: attacker.example:" + port + "\r\nOrigin: http://attacker.example:" + port + "\r\n";
    const QByteArray patch = "PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 21\r\n\r\n{\"line_source\":\"aux\"}";
    const struct {
        const char* what;
        QByteArray request;
        std::vector<std::pair<int, const char*>> answers;  // status, a piece of its body
    } cases[] = {
        {"a rebound name", "PATCH /api/state HTTP/1.1\r\n" + rebound + "Content-Length: 20\r\n\r\n{\"line_source\":\"cd\"}", {{421, "--allow-host"}}},
        {"a rebound name, WebSocket", "GET /api/live HTTP/1.1\r\n" + rebound + kWsHandshake, {{421, ""}}},
        {"no Host", "GET /api/health HTTP/1.1\r\n\r\n", {{421, ""}}},
        {"a name given", "GET /api/health HTTP/1.1\r\nHost: MIXER.example:" + port + "\r\n\r\n", {{200, "online"}}},
        {"localhost, another port", "GET /api/health HTTP/1.1\r\nHost: localhost:1\r\n\r\n", {{421, ""}}},
        {"a body declared too large", "PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 314572800\r\n\r\n{", {{413, "314572800"}}},
        {"chunked", "PATCH /api/state HTTP/1.1\r\n" + Host() + "Transfer-Encoding: chunked\r\n\r\n5\r\n", {{411, ""}}},
        {"a head too long", "GET / HTTP/1.1\r\n" + Host() + "X: " + QByteArray(20000, 'x'), {{431, ""}}},
        {"not HTTP", "\x16\x03\x01 hello\r\n\r\n", {{400, ""}}},
        {"Upgrade without Connection", "GET /api/live HTTP/1.1\r\n" + Host() + "Upgrade: websocket\r\n\r\n", {{400, "Connection: Upgrade"}}},
        {"HEAD, then GET", "HEAD /app.js HTTP/1.1\r\n" + Host() + "\r\nGET /api/health HTTP/1.1\r\n" + Host() + "\r\n",
         {{200, ""}, {200, "online"}}},
        {"pipelined", patch + "GET /api/state HTTP/1.1\r\n" + Host() + "\r\n", {{200, "\"aux\""}, {200, "\"aux\""}}},
    };
    for (const auto& c : cases) {
        sim_->ClearReceived();
        const Answers a = Exchange(server_->port(), c.request, c.answers.size(), c.request.startsWith("HEAD"));
        ASSERT_EQ(a.list.size(), c.answers.size()) << c.what;
        for (std::size_t i = 0; i < a.list.size(); ++i) {
            EXPECT_EQ(a.list[i].first, c.answers[i].first) << c.what;
            EXPECT_THAT(a.list[i].second.toStdString(), testing::HasSubstr(c.answers[i].second)) << c.what;
        }
        if (a.list.front().first != 200) {
            EXPECT_TRUE(Commands().empty()) << c.what;
        }
    }
    EXPECT_TRUE(WaitFor([&] { return server_->connections() == 0; }));
}

TEST_F(Guard, SlowSilentAndSurplusConnectionsAreClosed)
{
    HttpLimits limits;
    limits.maxConnections = 3;
    limits.requestTimeoutMs = 300;
    limits.idleTimeoutMs = 600;
    Start(limits);
    // A head that never ends, a body that never comes: 408, and closed.
    for (const QByteArray& slow : {"GET / HTTP/1.1\r\n" + Host(), "PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 9\r\n\r\n{"}) {
        const Answers a = Exchange(server_->port(), slow, 1);
        ASSERT_EQ(a.list.size(), 1u);
        EXPECT_EQ(a.list[0].first, 408);
    }
    // Silent and kept-alive connections end.
    QTcpSocket silent, kept;
    silent.connectToHost(QHostAddress::LocalHost, server_->port());
    kept.connectToHost(QHostAddress::LocalHost, server_->port());
    kept.write("GET /api/health HTTP/1.1\r\n" + Host() + "\r\n");
    EXPECT_TRUE(WaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState && kept.state() == QAbstractSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(kept.readAll().startsWith("HTTP/1.1 200"));

    limits.requestTimeoutMs = limits.idleTimeoutMs = 60000;
    Start(limits, 1);
    const QByteArray health = "GET /api/health HTTP/1.1\r\n" + Host() + "\r\n";
    // At the cap the oldest connection without a request under way makes room.
    QTcpSocket idle[3];
    for (QTcpSocket& s : idle) {
        s.connectToHost(QHostAddress::LocalHost, server_->port());
        ASSERT_TRUE(WaitFor([&] { return s.state() == QAbstractSocket::ConnectedState; }));
    }
    ASSERT_TRUE(WaitFor([&] { return server_->connections() == 3; }));
    EXPECT_EQ(Exchange(server_->port(), health, 1).list.at(0).first, 200);
    EXPECT_TRUE(WaitFor([&] { return idle[0].state() == QAbstractSocket::UnconnectedState; }));
    for (QTcpSocket& s : idle) {
        s.abort();
    }
    // One live client at most.
    QWebSocket first, second;
    first.open(QUrl(BaseUrl("ws") + "/api/live"));
    ASSERT_TRUE(WaitFor([&] { return server_->liveClients() == 1; }));
    second.open(QUrl(BaseUrl("ws") + "/api/live"));
    EXPECT_TRUE(WaitFor([&] { return second.closeCode() == 4503; }));
    first.abort();
    second.abort();
    // Mid-request connections are not evicted: a new one is refused.
    ASSERT_TRUE(WaitFor([&] { return server_->connections() == 0; }));
    QTcpSocket busy[3];
    for (QTcpSocket& b : busy) {
        b.connectToHost(QHostAddress::LocalHost, server_->port());
        b.write("PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 9\r\n\r\n{");
    }
    ASSERT_TRUE(WaitFor([&] { return server_->connections() == 3; }));
    EXPECT_EQ(Exchange(server_->port(), health, 1).list.at(0).first, 503);
}

// Neither a frame over the limit nor a client that never reads its answers
// makes the server keep memory for it: both are closed.
TEST_F(Guard, OversizedFramesAndUnreadAnswersCloseTheLiveClient)
{
    HttpLimits limits;
    limits.maxBacklog = 64 * 1024;
    Start(limits);
    auto open = [&](int receiveBuffer) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(server_->port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        const QByteArray hello = "GET /api/live HTTP/1.1\r\n" + Host() + kWsHandshake;
        EXPECT_EQ(::send(fd, hello.constData(), hello.size(), 0), hello.size());
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        EXPECT_TRUE(WaitFor([&] { return server_->liveClients() == 1; }));
        return fd;
    };
    // A text frame, masked, declaring 200 MiB: closed without waiting for them.
    int fd = open(1 << 16);
    const unsigned char frame[] = {0x81, 0xFF, 0, 0, 0, 0, 0x0C, 0x80, 0, 0, 1, 2, 3, 4, 'x'};
    ASSERT_EQ(::send(fd, frame, sizeof frame, 0), static_cast<ssize_t>(sizeof frame));
    EXPECT_TRUE(WaitFor([&] { return server_->liveClients() == 0; }));
    ::close(fd);
    // Pings whose pongs are never read.
    fd = open(4096);
    const unsigned char ping[] = {0x89, 0xFD, 1, 2, 3, 4};
    QByteArray pings;
    for (int i = 0; i < 64; ++i) {
        pings += QByteArray(reinterpret_cast<const char*>(ping), sizeof ping) + QByteArray(125, 'p');
    }
    qint64 sent = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            const ssize_t n = ::send(fd, pings.constData(), pings.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            sent += std::max<ssize_t>(n, 0);
            return server_->liveClients() == 0;
        },
        20000)) << sent << " bytes of pings sent";
    ::close(fd);
}

// What a client of the live stream holds, applying each message as any
// RFC 7386 implementation does, is the server's document, the mute
// position included.
TEST_F(Guard, TheLiveStreamLeadsToTheServersDocument)
{
    Start();
    QWebSocket live;
    QJsonObject held;
    int messages = 0;
    QObject::connect(&live, &QWebSocket::textMessageReceived, [&](const QString& m) {
        const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
        held = messages++ == 0 ? o : mergepatch::Apply(held, o);
    });
    live.open(QUrl(BaseUrl("ws") + "/api/live"));
    ASSERT_TRUE(WaitFor([&] { return messages > 0; }));
    for (const char* p : {R"({"channels":{"mic3":{"position":79},"mic4":{"position":79}}})", R"({"channels":{"mic4":{"gain_db":-12}}})"}) {
        ASSERT_EQ(Http("PATCH", "/api/state", p).status, 200) << p;
    }
    const QJsonObject served = Http("GET", "/api/state").json;
    EXPECT_FALSE(served["channels"]["mic3"].toObject().contains("gain_db"));
    EXPECT_TRUE(WaitFor([&] {
        QJsonObject state = held;
        state.remove("levels");
        state.remove("online");
        return state == served;
    })) << QJsonDocument(held).toJson().constData();
}

TEST(Access, KnownHost)
{
    const QHostAddress lo(QHostAddress::LocalHost), lan(QStringLiteral("192.168.1.5"));
    const QHostAddress mapped(QStringLiteral("::ffff:192.168.1.5"));
    const QStringList names{"mixer.example", "forwarded.example:9000"};
    const struct {
        const char* host;
        QHostAddress at;
        bool known;
    } cases[] = {
        {"127.0.0.1:8080", lo, true},       {"localhost:8080", lo, true},        {"LOCALHOST.:8080", lo, true},
        {"[::1]:8080", lo, true},           {"localhost:8081", lo, false},       {"localhost", lo, false},
        {"localhost:8080", lan, false},     {"192.168.1.5:8080", lan, true},     {"192.168.1.5:8080", mapped, true},
        {"192.168.1.6:8080", lan, false},   {"mixer.example:8080", lan, true},   {"mixer.example:9000", lan, false},
        {"forwarded.example:9000", lan, true}, {"forwarded.example:8080", lan, false},
        {"attacker.example:8080", lo, false}, {"", lo, false},                   {"127.0.0.1:x", lo, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KnownHost(c.host, 8080, c.at, names), c.known) << c.host << " at " << c.at.toString().toStdString();
    }
}

TEST(Access, AMadeTokenIsKeptPrivately)
{
    QTemporaryDir dir;
    const QString where = dir.filePath(QStringLiteral("state/kestractl"));
    QString error;
    const QString token = KeptToken(where, &error);
    ASSERT_EQ(token.size(), 22) << error.toStdString();
    EXPECT_EQ(KeptToken(where, &error), token);
    struct stat file {}, directory {};
    ASSERT_EQ(::stat(qPrintable(where + QStringLiteral("/token")), &file), 0);
    ASSERT_EQ(::stat(qPrintable(where), &directory), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(directory.st_mode & 0777, 0700u);
    QFile::resize(where + QStringLiteral("/token"), 0);
    EXPECT_EQ(KeptToken(where, &error), QString());
    EXPECT_THAT(error.toStdString(), testing::HasSubstr("empty"));
}

TEST(RefusalLog, KeepsToItsRateAndCountsWhatItLeftOut)
{
    RefusalLog log(2, 1000);
    const struct {
        qint64 at;
        const char* want;  // nullptr: held back
    } cases[] = {
        {0, "a"}, {10, "a"}, {20, nullptr}, {999, nullptr},
        {1000, "a (and 2 more refused before it, not logged)"}, {1001, "a"}, {1500, nullptr}, {3000, "a (and 1 more refused before it, not logged)"},
    };
    for (const auto& c : cases) {
        const std::optional<QString> out = log.Take(QStringLiteral("a"), c.at);
        EXPECT_EQ(out.value_or(QString()).toStdString(), c.want ? c.want : "") << "at " << c.at;
    }
}
