// kestractl serve under load: 100 WebSocket clients on /api/live, 10 of them
// moving one fader each, against the simulated KESTRA at its wire speed.
//
//   bridge_load_bench [SECONDS]      (default 20; the goal's run is 60)
//
// Figures: the fan-out latency (for each change, from the first client that
// has it to each other client: p99), the bridge process's CPU and its memory
// after warm-up, and whether every client and the device agree at the end.
// The clients run in this process, the bridge as the real kestractl.
#include "BenchResult.h"
#include "RunUntil.h"
#include "KestraSim.h"
#include "MergePatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kClients = 100;
constexpr int kMovers = 10;
constexpr int kMoveEveryMs = 20;
constexpr int kWarmUpS = 5;
const char* const kFaders[kMovers] = {"mic1", "mic2", "mic3", "mic4", "mic5", "mic6",
                                      "line", "sub_left", "sub_right", "master_left"};

QElapsedTimer g_clock;

struct Client {
    QWebSocket socket;
    std::vector<qint64> arrivals;  // ns, one per message
    std::vector<QString> texts;    // the messages, in the order they came
    QJsonObject doc;
};

// Where client c's message i stands in the reference's list: every client
// gets every broadcast, but one that connected later lacks those sent before
// (level reports come all the time), so message i is not the same broadcast
// for all. The offset at which the first messages after `from` read the
// same, or none.
std::optional<std::ptrdiff_t> OffsetTo(const Client& reference, const Client& c, std::size_t from)
{
    constexpr std::ptrdiff_t kFurthest = 400;
    constexpr std::size_t kCompared = 50;
    for (std::ptrdiff_t d = -kFurthest; d <= kFurthest; ++d) {
        bool same = from + kCompared < reference.texts.size();
        for (std::size_t i = from; same && i < from + kCompared; ++i) {
            const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i) + d;
            same = j >= 0 && j < static_cast<std::ptrdiff_t>(c.texts.size()) && c.texts[static_cast<std::size_t>(j)] == reference.texts[i];
        }
        if (same) {
            return d;
        }
    }
    return std::nullopt;
}

int DevicePosition(const sim::DeviceState& s, const QString& name)
{
    if (name.startsWith(QLatin1String("mic"))) {
        return s.live.micGain[static_cast<std::size_t>(name.mid(3).toInt() - 1)];
    }
    const QStringList stereo{"line", "sub_left", "sub_right", "master_left", "master_right"};
    return s.live.stereoGain[static_cast<std::size_t>(stereo.indexOf(name))];
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(kWarmUpS + 1, std::atoi(argv[1])) : 20;
    g_clock.start();

    sim::SimOptions options;
    options.wireSpeed = true;
    options.keepReceived = false;
    sim::KestraSim device(options);
    const std::string path = device.Start();
    QProcess bridge;
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(KESTRACTL_PROGRAM),
                 {"--port", QString::fromStdString(path), "serve", "--listen", "127.0.0.1:0",
                  // the clients stand for many machines: here they all come from 127.0.0.1
                  "--live-per-address", "1000"});
    QString url;
    const QRegularExpression served(QStringLiteral("http://(\\S+)/"));
    if (!bench::RunUntil([&] {
            const auto m = served.match(QString::fromUtf8(bridge.peek(4096)));
            url = m.hasMatch() ? m.captured(1) : QString();
            return !url.isEmpty() || bridge.state() == QProcess::NotRunning;
        }, 20000) || url.isEmpty()) {
        std::fprintf(stderr, "kestractl serve did not start\n");
        return 1;
    }

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
        auto c = std::make_unique<Client>();
        Client* raw = c.get();
        QObject::connect(&c->socket, &QWebSocket::textMessageReceived, [raw](const QString& text) {
            raw->arrivals.push_back(g_clock.nsecsElapsed());
            raw->texts.push_back(text);
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            raw->doc = raw->doc.isEmpty() ? m : mergepatch::Apply(raw->doc, m);
        });
        c->socket.open(QUrl(QStringLiteral("ws://%1/api/live").arg(url)));
        clients.push_back(std::move(c));
    }
    if (!bench::RunUntil([&] { return std::all_of(clients.begin(), clients.end(), [](const auto& c) { return !c->arrivals.empty(); }); }, 20000)) {
        std::fprintf(stderr, "not every client connected\n");
        return 1;
    }

    // Each mover sweeps its fader up and down, a patch every 20 ms.
    std::vector<int> last(kMovers, -1);
    int tick = 0;
    QTimer move;
    QObject::connect(&move, &QTimer::timeout, [&] {
        ++tick;
        for (int m = 0; m < kMovers; ++m) {
            const int position = static_cast<int>(30 + 29 * std::sin((tick + 7 * m) / 10.0));
            last[static_cast<std::size_t>(m)] = position;
            const QJsonObject patch{{"channels", QJsonObject{{kFaders[m], QJsonObject{{"position", position}}}}}};
            clients[static_cast<std::size_t>(m)]->socket.sendTextMessage(
                QString::fromUtf8(QJsonDocument(patch).toJson(QJsonDocument::Compact)));
        }
    });
    const qint64 pid = bridge.processId();
    move.start(kMoveEveryMs);
    bench::RunUntil([] { return false; }, kWarmUpS * 1000);
    const qint64 warmedAt = g_clock.nsecsElapsed();
    const long warmKiB = bench::ResidentKiBOf(pid);
    const double cpu0 = bench::CpuSecondsOf(pid);
    QElapsedTimer wall;
    wall.start();
    bench::RunUntil([] { return false; }, (seconds - kWarmUpS) * 1000);
    move.stop();
    const double cpu = (bench::CpuSecondsOf(pid) - cpu0) / (static_cast<double>(wall.elapsed()) / 1000.0);
    const long endKiB = bench::ResidentKiBOf(pid);

    // At the end every client and the device hold the last positions.
    auto agree = [&] {
        const sim::DeviceState s = device.State();
        for (int m = 0; m < kMovers; ++m) {
            const int want = last[static_cast<std::size_t>(m)];
            if (DevicePosition(s, QLatin1String(kFaders[m])) != want) {
                return false;
            }
            for (const auto& c : clients) {
                if (c->doc.value("channels")[QLatin1String(kFaders[m])]["position"].toInt(-1) != want) {
                    return false;
                }
            }
        }
        return true;
    };
    const bool agreed = bench::RunUntil(agree, 10000);

    // Fan-out: each broadcast after the warm-up, found in every client's
    // list by its place there, from the first client that has it to each.
    const Client& reference = *clients.front();
    const std::size_t from = static_cast<std::size_t>(
        std::lower_bound(reference.arrivals.begin(), reference.arrivals.end(), warmedAt) - reference.arrivals.begin());
    std::vector<std::ptrdiff_t> offsets;
    for (const auto& c : clients) {
        const auto d = OffsetTo(reference, *c, from);
        if (!d) {
            std::fprintf(stderr, "a client's messages do not read as the others' (%zu of them)\n", c->texts.size());
            return 1;
        }
        offsets.push_back(*d);
    }
    std::size_t messages = 0;
    std::size_t differing = 0;  // the same place but another text: a broadcast lost or out of order
    std::vector<double> latencyMs;
    for (std::size_t i = from; i < reference.arrivals.size(); ++i) {
        std::vector<qint64> at;
        for (std::size_t k = 0; k < clients.size(); ++k) {
            const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i) + offsets[k];
            if (j < 0 || j >= static_cast<std::ptrdiff_t>(clients[k]->arrivals.size())) {
                break;
            }
            differing += clients[k]->texts[static_cast<std::size_t>(j)] != reference.texts[i];
            at.push_back(clients[k]->arrivals[static_cast<std::size_t>(j)]);
        }
        if (at.size() < clients.size()) {
            break;  // the last ones had not reached every client when the run ended
        }
        ++messages;
        const qint64 first = *std::min_element(at.begin(), at.end());
        for (const qint64 t : at) {
            latencyMs.push_back(static_cast<double>(t - first) / 1e6);
        }
    }
    if (differing > 0) {
        std::fprintf(stderr, "%zu messages differ from the broadcast at their place\n", differing);
        return 1;
    }
    std::sort(latencyMs.begin(), latencyMs.end());
    const double p99 = latencyMs.empty() ? 0 : latencyMs[latencyMs.size() * 99 / 100];
    const double p50 = latencyMs.empty() ? 0 : latencyMs[latencyMs.size() / 2];
    std::printf("%d s, %d clients, %d moving; %zu broadcasts each; fan-out p50 %.2f ms p99 %.2f ms; "
                "bridge CPU %.1f%% of one core; RSS %ld KiB after warm-up, %ld KiB at the end\n",
                seconds, kClients, kMovers, messages, p50, p99, cpu * 100, warmKiB, endKiB);

    char text[128];
    std::snprintf(text, sizeof text, "%.1f ms (p50 %.1f ms, %zu broadcasts, %d s)", p99, p50, messages, seconds);
    bench::Result("serve: fan-out to 100 WebSocket clients, 10 faders moving, p99", text, "<= 50 ms", p99 <= 50);
    std::snprintf(text, sizeof text, "%.1f%% of one core", cpu * 100);
    bench::Result("serve: bridge CPU under that load", text, "reported", true);
    std::snprintf(text, sizeof text, "%+ld KiB from %ld KiB after %d s of warm-up", endKiB - warmKiB, warmKiB, kWarmUpS);
    bench::Result("serve: bridge memory under that load", text, "flat (< 1024 KiB growth)", endKiB - warmKiB < 1024);
    bench::Result("serve: every client and the device agree at the end", agreed ? "yes" : "no", "yes", agreed);

    for (auto& c : clients) {
        c->socket.close();
    }
    bridge.terminate();
    bridge.waitForFinished(5000);
    return agreed ? 0 : 1;
}
