// GET /metrics: each failure kind counted once, device values only while the
// device is online; then a real Prometheus scraping a `kestractl --demo
// serve`, with promtool's word on the exposition first.
#include "BridgeFixture.h"
#include "FreePort.h"
#include "WaitFor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {
// The value of one series in an exposition ("" when it is not there).
QByteArray Sample(const QByteArray& text, const QByteArray& series)
{
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(series + ' ')) {
            return line.mid(series.size() + 1);
        }
    }
    return {};
}

QJsonValue Json(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

QByteArray Get(QNetworkAccessManager& net, const QString& url)
{
    QNetworkReply* r = net.get(QNetworkRequest(QUrl(url)));
    WaitFor([r] { return r->isFinished(); }, 10000);
    const QByteArray body = r->readAll();
    r->deleteLater();
    return body;
}

class Metrics : public BridgeFixture {};
}  // namespace

TEST_F(Metrics, EachFailureKindOnceAndDeviceValuesOnlyWhileOnline)
{
    QTemporaryDir dir;
    sim::SimOptions options;
    options.linkPath = dir.filePath("kestra").toStdString();
    StartBridge({}, options);
    auto sample = [&](const char* series) { return Sample(Http("GET", "/metrics").body, series); };
    const struct {
        sim::FaultKind fault;
        const char* series;
    } cases[] = {
        {sim::FaultKind::Nak, R"(kestra_failures_total{kind="nak"})"},
        {sim::FaultKind::Busy, R"(kestra_failures_total{kind="busy"})"},
        {sim::FaultKind::Error, R"(kestra_failures_total{kind="device_error"})"},
        {sim::FaultKind::Silence, R"(kestra_failures_total{kind="silence"})"},
    };
    for (const auto& c : cases) {
        sim_->SetFault({c.fault, 4, 1});
        EXPECT_TRUE(WaitFor([&] { return sample(c.series) == "1"; })) << c.series << ": " << sample(c.series).constData();
    }
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic3":{"position":79},"mic4":{"gain_db":-15.5}}})").status, 200);
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic3"})"), "-Inf");
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic4"})"), "-15.5");
    sim_->Vanish();
    ASSERT_TRUE(WaitFor([&] { return sample("kestra_online") == "0"; }, 10000));
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic4"})"), "");
    ASSERT_FALSE(sim_->Reappear().empty());
    EXPECT_TRUE(WaitFor([&] { return sample("kestra_online") == "1"; }, 10000));
    EXPECT_NE(sample(R"(kestra_failures_total{kind="reopen"})"), "0");
}

TEST(ServeProcess, PrometheusScrapesTheOnlineStateAndAGain)
{
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    const QString promtool = QStandardPaths::findExecutable("promtool");
    if (prometheus.isEmpty() || promtool.isEmpty()) {
        GTEST_SKIP() << "prometheus and promtool are not installed (Debian's prometheus: scripts/setup.sh test)";
    }
    QTemporaryDir dir;
    const quint16 port = FreePort();
    QProcess serve;
    serve.start(QStringLiteral(KESTRACTL_PROGRAM), {"--demo", "serve", "--listen", QStringLiteral("127.0.0.1:%1").arg(port)});
    QNetworkAccessManager net;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QByteArray text;
    ASSERT_TRUE(WaitFor([&] { return Sample(text = Get(net, base + "/metrics"), "kestra_online") == "1"; }, 20000));
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(promtool, {"check", "metrics"});
    check.write(text);
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(20000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().constData();

    quint16 web = FreePort();
    while (web == port) {
        web = FreePort();
    }
    QFile config(dir.filePath("prometheus.yml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global: {scrape_interval: 1s}\nscrape_configs:\n  - job_name: kestra\n"
                                "    static_configs: [{targets: ['127.0.0.1:%1']}]\n").arg(port).toUtf8());
    config.close();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web)});
    auto query = [&](const QString& q) {
        const QString url = QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=").arg(web) + QUrl::toPercentEncoding(q);
        const QJsonArray result = Json(Get(net, url))["data"]["result"].toArray();
        return result.isEmpty() ? QString() : result[0]["value"][1].toString();
    };
    const double mic1 = Json(Get(net, base + "/api/state"))["channels"]["mic1"]["gain_db"].toDouble();
    EXPECT_TRUE(WaitFor([&] { return query("kestra_online") == "1"; }, 30000)) << server.readAll().constData();
    EXPECT_EQ(query(R"(kestra_gain_db{channel="mic1"})").toDouble(), mic1);
    server.terminate();
    serve.terminate();
    EXPECT_TRUE(server.waitForFinished(10000) && serve.waitForFinished(10000));
}
