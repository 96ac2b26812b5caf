// The server against hostile clients, over raw sockets: names it does not
// answer to, bodies and heads over the limits, pipelined requests (an upgrade
// among them), clients that half-close after their request, slow and
// silent connections, the connection and live-client caps, WebSocket frames
// over the limit and a live client that never reads. Then the rules under
// it: Host names, the kept token, the refusal log.
#include "BridgeFixture.h"
#include "RefusalLog.h"
#include "RelaySockets.h"
#include "WaitFor.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <gmock/gmock.h>


namespace {
const QByteArray kWsHandshake =
    "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

class Guard : public BridgeFixture {
protected:
    void Start(const std::function<void(HttpLimits&)>& set = {}, int maxLive = 500)
    {
        ServeOptions serve{.port = 0, .access = {}, .allowedHosts = {"mixer.example"}, .limits = {}, .maxLiveClients = maxLive, .panels = {}};
        if (set) {
            set(serve.limits);
        }
        StartBridge({}, {}, serve);
    }
    // What the client does after its requests, and what it then expects.
    enum End { Keep, HalfClose, AwaitClose };
    // HalfClose: our side ends after the request. HalfClose and AwaitClose:
    // the server must close once it answered.
    std::vector<std::pair<int, QByteArray>> Exchange(const QByteArray& request, std::size_t count = 1, bool headFirst = false,
                                                     End end = Keep)
    {
        return BridgeFixture::Exchange(request, count, headFirst, end != Keep, [end](QTcpSocket& s) {
            if (end == HalfClose && s.waitForConnected() && s.flush()) {
                relay::ShutdownSending(s.socketDescriptor());
            }
        });
    }
};
}  // namespace

// One connection per row. Only the embedded files are served; every bad
// request is refused, by its head where it can be (before its body is read),
// else with the field named; the device sees only what good rows ask for.
TEST_F(Guard, EachRequestIsAnsweredInOrderOrRefused)
{
    Start([](HttpLimits& l) { l.requestTimeoutMs = 300; });
    const QByteArray port = QByteArray::number(server_->Port());
    const QByteArray rebound = "Host: attacker.example:" + port + "\r\nOrigin: http://attacker.example:" + port + "\r\n";
    const struct {
        QByteArray request;
        std::vector<std::pair<int, const char*>> answers;  // status, a piece of its body
        End end = Keep;
        const char* log = nullptr;  // a piece of the line the refusal logs
    } cases[] = {
        {"PATCH /api/state HTTP/1.1\r\n" + rebound + "Content-Length: 20\r\n\r\n{\"line_source\":\"cd\"}", {{421, "--allow-host"}}},
        {"GET /api/live HTTP/1.1\r\n" + rebound + kWsHandshake, {{421, ""}}},
        {"GET /api/state HTTP/1.1\r\n" + Host() + kWsHandshake, {{404, "/api/live"}}},
        {"GET /api/health HTTP/1.1\r\n\r\n", {{421, ""}}},
        {"GET /api/health HTTP/1.1\r\nHost: MIXER.example:" + port + "\r\n\r\n", {{200, "online"}}},
        {"PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 314572800\r\n\r\n{", {{413, "314572800"}}},
        {"PATCH /api/state HTTP/1.1\r\n" + Host() + "Transfer-Encoding: chunked\r\n\r\n5\r\n", {{411, ""}}},
        {"GET / HTTP/1.1\r\n" + Host() + "X: " + QByteArray(20000, 'x'), {{431, ""}}},
        {"GET / HTTP/1.1\r\n" + Host(), {{408, ""}}},
        {"PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 9\r\n\r\n{", {{408, ""}}},
        {"\x16\x03\x01 hello\r\n\r\n", {{400, ""}}},
        {"GET /api/live HTTP/1.1\r\n" + Host() + "Upgrade: websocket\r\n\r\n", {{400, "Connection: Upgrade"}}},
        {Request("GET /api/health") + "GET /api/live HTTP/1.1\r\n" + Host() + "Connection: xupgrade\r\nUpgrade: websocket\r\n\r\n" +
             Request("GET /api/health"),
         {{200, "online"}, {400, "Sec-WebSocket-Key"}}, AwaitClose, "400 not a WebSocket handshake"},
        {"GET /api/live HTTP/1.1\r\n" + Host() + QByteArray(kWsHandshake).replace("dGhlIHNhbXBsZSBub25jZQ==", "c2hvcnQ="), {{400, ""}}},
        {"GET /api/live HTTP/1.1\r\n" + Host() + "Origin: http://attacker.example\r\n" + kWsHandshake,
         {{403, "attacker.example"}}, AwaitClose, "403 a page from elsewhere"},
        {Request("GET /api/health") + "GET / HTTP/1.1\r\n" + Host() + "Connection: close\r\n\r\n" + Request("GET /api/health"),
         {{200, "online"}, {200, "<html"}}, AwaitClose},
        {"GET /api/health HTTP/1.0\r\n" + Host() + "\r\n" + Request("GET /api/health"), {{200, "online"}}, AwaitClose},
        {"GET /api/health HTTP/1.0\r\n" + Host() + "Connection: keep-alive\r\n\r\n" + Request("GET /api/health"),
         {{200, "online"}, {200, "online"}}},
        {Request("HEAD /app.js") + Request("GET /api/health"), {{200, ""}, {200, "online"}}},
        {Request("PATCH /api/state", R"({"line_source":"aux"})") + Request("GET /api/state"), {{200, "\"aux\""}, {200, "\"aux\""}}},
        {Request("PATCH /api/state", R"({"line_source":"cd"})") + Request("GET /api/health"), {{200, "\"cd\""}, {200, "online"}}, HalfClose},
        {Request("GET /api/health"), {{200, "online"}}, HalfClose},
        {"PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 9\r\n\r\n{", {{400, "ended within a request"}}, HalfClose},
        {Request("PATCH /api/state", R"({"line_source":"aux"})") + "GET /api/live HTTP/1.1\r\n" + Host() + kWsHandshake,
         {{200, "\"aux\""}, {400, "waits for the answers"}}},
        {Request("GET /api/health") + "GET / HTTP/1.1\r\n" + rebound + "\r\n", {{200, "online"}, {421, ""}}},
        {Request("GET /"), {{200, "<html"}}},
        {Request("GET /index.htm") + Request("GET /%2e%2e/%2e%2e/etc/passwd"), {{404, "not found"}, {404, "not found"}}},
        {Request("GET /..%2fCMakeLists.txt") + Request("GET /web/index.html"), {{404, "not found"}, {404, "not found"}}},
        {Request("PATCH /api/state", "{\"channels\":"), {{400, "body: not JSON"}}},
        {Request("PATCH /api/state", "[1]"), {{400, "body: not a JSON object"}}},
        {Request("PATCH /api/state", R"({"channels":{"mic3":{"mute":"on"}}})"), {{400, "channels.mic3.mute: \\\"on\\\" is not allowed"}}},
        {Request("PATCH /api/state", R"({"ducking":{"active":false}})"), {{400, "ducking.active: read-only"}}},
        {Request("POST /api/presets/4/load"), {{400, "preset: \\\"4\\\" is not allowed"}}},
        {Request("POST /api/presets/1/erase"), {{404, "no such endpoint"}}},
        {Request("PUT /api/state", "{}"), {{405, "method not allowed"}}},
    };
    QStringList logged;
    QObject::connect(server_.get(), &BridgeServer::refused, server_.get(), [&logged](const QString& line) { logged << line; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.left(60).constData());
        sim_->ClearReceived();
        logged.clear();
        const auto answers = Exchange(c.request, c.answers.size(), c.request.startsWith("HEAD"), c.end);
        EXPECT_THAT(logged.join('\n').toStdString(), testing::HasSubstr(c.log != nullptr ? c.log : ""));
        ASSERT_EQ(answers.size(), c.answers.size());
        for (std::size_t i = 0; i < answers.size(); ++i) {
            EXPECT_EQ(answers[i].first, c.answers[i].first);
            EXPECT_THAT(answers[i].second.toStdString(), testing::HasSubstr(c.answers[i].second));
        }
        EXPECT_TRUE(answers.front().first == 200 || Commands().empty()) << "a refused request sends nothing";
    }
}

TEST_F(Guard, SilentAndSurplusConnectionsAreClosed)
{
    Start([](HttpLimits& l) { l.maxConnections = 3, l.requestTimeoutMs = 300, l.idleTimeoutMs = 600; }, 1);
    QTcpSocket silent, kept;
    silent.connectToHost(QHostAddress::LocalHost, server_->Port());
    kept.connectToHost(QHostAddress::LocalHost, server_->Port());
    kept.write(Request("GET /api/health"));
    EXPECT_TRUE(WaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState && kept.state() == QAbstractSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(kept.readAll().startsWith("HTTP/1.1 200"));
    // At most one live client.
    QWebSocket first, second;
    first.open(QUrl(BaseUrl("ws") + "/api/live"));
    ASSERT_TRUE(WaitFor([&] { return server_->LiveClients() == 1; }));
    second.open(QUrl(BaseUrl("ws") + "/api/live"));
    EXPECT_TRUE(WaitFor([&] { return second.closeCode() == 4503; }));
}

// No kind of idle connection can hold the cap: an ordinary request always
// gets through, closing the first of a connection between requests (i), one
// sending its head (h), in its body (b), a WebSocket (w), each the oldest
// first. Capitals come from a second address: each address has its share of
// bodies and WebSockets, and all bodies theirs.
TEST_F(Guard, NoKindOfConnectionHoldsTheCap)
{
    const struct {
        const char* kinds;
        int cap;
        int closed;  // which one, -1: none
    } cases[] = {
        {"wWbB", 4, 2}, {"bWhi", 4, 3}, {"bWhB", 4, 2}, {"wWWw", 4, 0}, {"ibhw", 4, 0},
        {"bbb", 9, 0}, {"bBbB", 9, 0}, {"bBb", 9, -1}, {"www", 9, 0}, {"wWw", 9, -1},
    };
    for (const auto& c : cases) {
        Start([&c](HttpLimits& l) { l.maxConnections = c.cap, l.maxBodies = 3, l.maxBodiesPerPeer = 2, l.maxUpgradedPerPeer = 2; });
        const auto* guard = server_->findChild<HttpGuard*>();
        std::vector<std::unique_ptr<QTcpSocket>> open;
        for (const char* k = c.kinds; *k != 0; ++k) {
            auto& s = open.emplace_back(std::make_unique<QTcpSocket>());
            s->bind(QHostAddress(std::isupper(*k) ? "127.0.0.2" : "127.0.0.1"));
            s->connectToHost(QHostAddress::LocalHost, server_->Port());
            const QByteArray opening[] = {{}, "GET / HTTP/1.1\r\n", "PATCH /api/state HTTP/1.1\r\n" + Host() + "Content-Length: 9\r\n\r\n{", {},
                                          "GET /api/live HTTP/1.1\r\n" + Host() + kWsHandshake};
            const int rank = static_cast<int>(std::string_view("?ihb?w").find(static_cast<char>(std::tolower(*k))));
            s->write(opening[rank - 1]);
            ASSERT_TRUE(WaitFor([&] { return s->state() == QAbstractSocket::ConnectedState && guard->Rank(s->localPort()) == rank; })) << c.kinds;
        }
        EXPECT_EQ(Exchange(Request("GET /api/health")).at(0).first, 200) << c.kinds;
        for (std::size_t i = 0; i < open.size(); ++i) {
            EXPECT_EQ(WaitFor([&] { return open[i]->state() == QAbstractSocket::UnconnectedState; }, i == std::size_t(c.closed) ? 3000 : 1),
                      i == std::size_t(c.closed)) << c.kinds << " #" << i;
        }
    }
}

// A peer that does not read what it is sent does not make the server keep
// memory for it. Pipelined requests wait unread until their answers drained
// (and are all answered then); a live client with a frame over the limit, or
// pongs to its pings left unread, is closed.
TEST_F(Guard, APeerThatDoesNotReadIsNotBufferedFor)
{
    Start([](HttpLimits& l) { l.maxBacklog = 64 * 1024; });
    const auto* guard = server_->findChild<HttpGuard*>();
    auto deaf = [&](QTcpSocket& s) {  // reads no further than the first answer's first byte
        s.setReadBufferSize(1), s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        s.connectToHost(QHostAddress::LocalHost, server_->Port());
    };
    QTcpSocket s;
    deaf(s);
    s.write(Request("GET /app.js").repeated(1000));  // about 14 MB of answers, more than the kernel's buffers hold
    ASSERT_TRUE(WaitFor([&] { return guard->Paused() == 1; }, 20000));
    EXPECT_LT(guard->Buffered(), 64 * 1024 + 16 * 16 * 1024 + 3 * 64 * 1024);
    s.setReadBufferSize(0);
    QByteArray tail;  // then every request is answered; a status line cut in two is found in the tail and what follows
    qsizetype answers = 0;
    EXPECT_TRUE(WaitFor([&] { const QByteArray in = tail + s.readAll(); return answers += in.count("HTTP/1.1 200 "), tail = in.right(12), answers == 1000; }, 20000)) << answers;

    const QByteArray frame("\x81\xFF\0\0\0\0\x0C\x80\0\0\1\2\3\4x", 15);  // masked, declaring 200 MiB
    const QByteArray pings = (QByteArray("\x89\xFD\1\2\3\4", 6) + QByteArray(125, 'p')).repeated(64);
    for (const QByteArray& flood : {frame, pings}) {
        QTcpSocket s;
        deaf(s);
        s.write("GET /api/live HTTP/1.1\r\n" + Host() + kWsHandshake);
        ASSERT_TRUE(WaitFor([&] { return server_->LiveClients() == 1; }));
        EXPECT_TRUE(WaitFor([&] { return s.write(flood), server_->LiveClients() == 0; }, 20000));
    }
}

TEST(Access, KnownHost)
{
    const QHostAddress lo(QHostAddress::LocalHost), lan(QStringLiteral("192.168.1.5"));
    const QHostAddress mapped(QStringLiteral("::ffff:192.168.1.5"));
    const QStringList names{"mixer.example", "forwarded.example:9000"};
    const std::tuple<const char*, QHostAddress, bool> cases[] = {
        {"127.0.0.1:8080", lo, true},       {"localhost:8080", lo, true},        {"LOCALHOST.:8080", lo, true},
        {"[::1]:8080", lo, true},           {"localhost:8081", lo, false},       {"localhost", lo, false},
        {"localhost:8080", lan, false},     {"192.168.1.5:8080", lan, true},     {"192.168.1.5:8080", mapped, true},
        {"192.168.1.6:8080", lan, false},   {"mixer.example:8080", lan, true},   {"mixer.example:9000", lan, false},
        {"forwarded.example:9000", lan, true}, {"forwarded.example:8080", lan, false},
        {"attacker.example:8080", lo, false}, {"", lo, false},                   {"127.0.0.1:x", lo, false},
    };
    for (const auto& [host, at, known] : cases) {
        EXPECT_EQ(KnownHost(host, 8080, at, names), known) << host << " at " << at.toString().toStdString();
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
    using P = QFileDevice;
    EXPECT_EQ(QFile::permissions(where + "/token"), P::ReadOwner | P::WriteOwner | P::ReadUser | P::WriteUser);
    EXPECT_EQ(QFile::permissions(where), P::ReadOwner | P::WriteOwner | P::ExeOwner | P::ReadUser | P::WriteUser | P::ExeUser);
}

TEST(RefusalLog, KeepsToItsRateAndCountsWhatItLeftOut)
{
    RefusalLog log(2, 1000);
    const std::pair<qint64, const char*> cases[] = {  // "": held back
        {0, "a"}, {10, "a"}, {20, ""}, {999, ""}, {1000, "a (and 2 more refused before it, not logged)"},
        {1001, "a"}, {1500, ""}, {3000, "a (and 1 more refused before it, not logged)"},
    };
    for (const auto& [at, want] : cases) {
        EXPECT_EQ(log.Take(QStringLiteral("a"), at).value_or(QString()).toStdString(), want) << "at " << at;
    }
}
