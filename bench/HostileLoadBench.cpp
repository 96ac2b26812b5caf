// kestractl serve under a hostile load: 500 connections that send nothing
// (reopened whenever the server closes them), 200 live clients of which 50
// never read a byte, and 10 of the others moving a fader each every 20 ms;
// meanwhile one normal client asks GET /api/health every 50 ms on a
// kept-alive connection.
//
//   hostile_load_bench [SECONDS]      (default 60, after 5 s of warm-up)
//
// Figures: the normal client's answer time (p99), the bridge's resident
// memory at its highest, and how many of the silent readers it dropped.
// The bridge runs as the real kestractl on the simulated KESTRA.
#include "BenchResult.h"
#include "RunUntil.h"
#include "KestraSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kIdle = 500;
constexpr int kLive = 200;
constexpr int kSilentLive = 50;
constexpr int kMovers = 10;
constexpr int kMoveEveryMs = 20;
constexpr int kAskEveryMs = 50;
constexpr int kWarmUpS = 5;
constexpr long kMemoryBoundKiB = 160 * 1024;
const char* const kFaders[kMovers] = {"mic1", "mic2", "mic3", "mic4", "mic5", "mic6",
                                      "line", "sub_left", "sub_right", "master_left"};

// A live client that completes the handshake and then never reads.
int SilentLiveClient(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    const QByteArray hello = "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                             "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
    [[maybe_unused]] const auto n = ::send(fd, hello.constData(), static_cast<size_t>(hello.size()), MSG_NOSIGNAL);
    return fd;
}

bool Closed(int fd)
{
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;

    sim::SimOptions options;
    options.wireSpeed = true;
    options.keepReceived = false;
    sim::KestraSim device(options);
    const std::string path = device.Start();
    QProcess bridge;
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(KESTRACTL_PROGRAM), {"--port", QString::fromStdString(path), "serve", "--listen", "127.0.0.1:0",
                  // the clients stand for many machines: here they all come from 127.0.0.1
                  "--live-per-address", "1000"});
    quint16 port = 0;
    const QRegularExpression served(QStringLiteral("http://127.0.0.1:(\\d+)/"));
    if (!bench::RunUntil([&] {
            const auto m = served.match(QString::fromUtf8(bridge.peek(4096)));
            port = m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
            return port != 0 || bridge.state() == QProcess::NotRunning;
        }, 20000) || port == 0) {
        std::fprintf(stderr, "kestractl serve did not start\n");
        return 1;
    }
    const qint64 pid = bridge.processId();

    // Connections that send nothing, opened again as soon as they are closed.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    int reopened = 0;
    for (int i = 0; i < kIdle; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = s.get();
        QObject::connect(raw, &QTcpSocket::disconnected, raw, [raw, port, &reopened] {
            ++reopened;
            QTimer::singleShot(0, raw, [raw, port] { raw->connectToHost(QHostAddress::LocalHost, port); });
        });
        raw->connectToHost(QHostAddress::LocalHost, port);
        idle.push_back(std::move(s));
    }
    std::vector<int> silent;
    for (int i = 0; i < kSilentLive; ++i) {
        silent.push_back(SilentLiveClient(port));
    }
    std::vector<std::unique_ptr<QWebSocket>> live;
    int connected = 0;
    for (int i = 0; i < kLive - kSilentLive; ++i) {
        auto s = std::make_unique<QWebSocket>();
        QObject::connect(s.get(), &QWebSocket::connected, [&connected] { ++connected; });
        s->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/live").arg(port)));
        live.push_back(std::move(s));
    }
    if (!bench::RunUntil([&] { return connected == kLive - kSilentLive; }, 30000)) {
        std::fprintf(stderr, "only %d live clients connected\n", connected);
        return 1;
    }

    int tick = 0;
    QTimer move;
    QObject::connect(&move, &QTimer::timeout, [&] {
        ++tick;
        for (int m = 0; m < kMovers; ++m) {
            const int position = static_cast<int>(30 + 29 * std::sin((tick + 7 * m) / 10.0));
            const QJsonObject patch{{"channels", QJsonObject{{kFaders[m], QJsonObject{{"position", position}}}}}};
            live[static_cast<std::size_t>(m)]->sendTextMessage(QString::fromUtf8(QJsonDocument(patch).toJson(QJsonDocument::Compact)));
        }
    });
    move.start(kMoveEveryMs);

    // The normal client: one question at a time on a kept-alive connection.
    QTcpSocket normal;
    normal.connectToHost(QHostAddress::LocalHost, port);
    const QByteArray ask = "GET /api/health HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n";
    std::vector<double> answerMs;
    int unanswered = 0;
    QElapsedTimer asked;
    QByteArray in;
    QObject::connect(&normal, &QTcpSocket::readyRead, [&] {
        in += normal.readAll();
        const qsizetype end = in.indexOf("\r\n\r\n");
        const qsizetype length = in.indexOf("Content-Length: ");
        if (end >= 0 && length >= 0 && in.size() >= end + 4 + in.mid(length + 16, 8).split('\r').front().toInt()) {
            answerMs.push_back(static_cast<double>(asked.nsecsElapsed()) / 1e6);
            in.clear();
            asked.invalidate();
        }
    });
    QObject::connect(&normal, &QTcpSocket::disconnected, [&] { normal.connectToHost(QHostAddress::LocalHost, port); });
    QTimer question;
    QObject::connect(&question, &QTimer::timeout, [&] {
        if (asked.isValid()) {
            ++unanswered;  // still waiting: counted, and not asked again
            return;
        }
        asked.start();
        normal.write(ask);
    });
    // After the connection storm of the start, as the other load benchmark does.
    bench::RunUntil([] { return false; }, kWarmUpS * 1000L);
    question.start(kAskEveryMs);

    long peakKiB = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] { peakKiB = std::max(peakKiB, bench::ResidentKiBOf(pid)); });
    sample.start(200);
    bench::RunUntil([] { return false; }, seconds * 1000L);
    move.stop();
    question.stop();
    const int dropped = static_cast<int>(std::count_if(silent.begin(), silent.end(), Closed));

    std::sort(answerMs.begin(), answerMs.end());
    const double p99 = answerMs.empty() ? 1e9 : answerMs[answerMs.size() * 99 / 100];
    const double p50 = answerMs.empty() ? 1e9 : answerMs[answerMs.size() / 2];
    std::printf("%d s: %d silent connections (%d reopened after the server closed them), %d live clients (%d never "
                "reading, %d of them dropped), %d moving; normal client: %zu answers, p50 %.2f ms, p99 %.2f ms, %d "
                "ticks still waiting; bridge RSS at most %ld KiB\n",
                seconds, kIdle, reopened, kLive, kSilentLive, dropped, kMovers, answerMs.size(), p50, p99, unanswered, peakKiB);
    char text[160];
    std::snprintf(text, sizeof text, "%.1f ms (p50 %.1f ms, %zu answers, %d s)", p99, p50, answerMs.size(), seconds);
    bench::Result("serve under a hostile load: a normal client's answer, p99", text, "<= 50 ms", p99 <= 50);
    std::snprintf(text, sizeof text, "%ld KiB at most (%d of %d silent readers dropped)", peakKiB, dropped, kSilentLive);
    bench::Result("serve under a hostile load: bridge memory", text, "<= 160 MiB", peakKiB <= kMemoryBoundKiB);

    for (int fd : silent) {
        ::close(fd);
    }
    bridge.terminate();
    bridge.waitForFinished(5000);
    return p99 <= 50 && peakKiB <= kMemoryBoundKiB ? 0 : 1;
}
