// Every method on every path gets an answer: the ones a path does not take
// are refused with their status and a body that says why, never left open
// or closed unanswered. (Each connection is handed to the server and freed
// again: the sanitiser builds see a leak or a late use.)
#include "BridgeFixture.h"
#include "WaitFor.h"

#include <QTcpSocket>

#include <gmock/gmock.h>

namespace {

class Refusal : public BridgeFixture {
protected:
    // Status and body of the one answer to `method path` on a fresh
    // connection; status 0 when none came before the server closed or the deadline.
    std::pair<int, QByteArray> Ask(const QByteArray& method, const QByteArray& path)
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server_->port());
        s.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server_->port()) +
                "\r\nContent-Length: 0\r\n\r\n");
        QByteArray in;
        qsizetype end = -1;
        qsizetype length = 0;
        WaitFor([&] {
            in += s.readAll();
            if (end < 0 && (end = in.indexOf("\r\n\r\n")) >= 0) {
                const qsizetype at = in.toLower().indexOf("content-length:");
                length = method == "HEAD" || at < 0 || at > end ? 0 : in.mid(at + 15, 20).trimmed().split('\r')[0].toLongLong();
            }
            return (end >= 0 && in.size() >= end + 4 + length) || s.state() == QAbstractSocket::UnconnectedState;
        }, 3000);
        if (end < 0 || !in.startsWith("HTTP/1.1 ")) {
            return {0, in};
        }
        return {in.mid(9, 3).toInt(), in.mid(end + 4, length)};
    }
};

TEST_F(Refusal, EveryMethodOnEveryPathIsAnswered)
{
    StartBridge();
    const struct {
        QByteArray path;
        std::vector<QByteArray> takes;  // every other method is refused
        int status;
        const char* says;
    } paths[] = {
        {"/", {"GET", "HEAD"}, 405, "/: only GET"},
        {"/app.js", {"GET", "HEAD"}, 405, "/app.js: only GET"},
        {"/metrics", {"GET", "HEAD"}, 405, "/metrics: only GET"},
        {"/api/health", {"GET", "HEAD"}, 405, "/api/health: method not allowed"},
        {"/api/state", {"GET", "HEAD", "PATCH"}, 405, "/api/state: method not allowed"},
        {"/api/ports", {"GET", "HEAD"}, 405, "/api/ports: method not allowed"},
        {"/api/presets/2/save", {"POST"}, 405, "/api/presets/2/save: method not allowed"},
        {"/api/live", {}, 404, "/api/live: no such endpoint"},  // a WebSocket only
        {"/api/nothing", {}, 404, "/api/nothing: no such endpoint"},
        {"/nothing.html", {}, 404, "not found"},
    };
    for (const auto& p : paths) {
        for (const QByteArray method : {"GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "OPTIONS", "TRACE", "CONNECT", "BREW"}) {
            SCOPED_TRACE((method + ' ' + p.path).toStdString());
            const auto [status, body] = Ask(method, p.path);
            if (std::find(p.takes.begin(), p.takes.end(), method) != p.takes.end()) {
                EXPECT_NE(status, 0) << "unanswered";
                EXPECT_LT(status, 405);
                continue;
            }
            EXPECT_EQ(status, p.status);
            if (method != "HEAD") {
                EXPECT_THAT(body.toStdString(), testing::HasSubstr(p.says));
            }
        }
    }
}

}  // namespace
