// GET /metrics: each failure kind counted once, device values only while the
// device is online (and what a line that fails does to changes); then a real
// Prometheus scraping a `kestractl --demo serve`, with promtool's word on the
// exposition first.
#include "BridgeFixture.h"
#include "FreePort.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {
// The value of one series in an exposition ("" when it is not there).
QByteArray Sample(const QByteArray& text, const QByteArray& series)
{
    const qsizetype at = text.indexOf('\n' + series + ' ');
    return at < 0 ? QByteArray() : text.mid(at + series.size() + 2).split('\n').first();
}

class Metrics : public BridgeFixture {};
}  // namespace

TEST_F(Metrics, EachFailureKindOnceAndDeviceValuesOnlyWhileOnline)
{
    QTemporaryDir dir;
    sim::SimOptions options;
    options.linkPath = dir.filePath("kestra").toStdString();
    StartBridge({}, options);
    auto sample = [&](const QByteArray& series) { return Sample(Http("GET", "/metrics").body, series); };
    // Each fault once: its own series counts it, and the health document the same figure.
    const struct { sim::FaultKind fault; const char* series; const char* health; } kinds[] = {
        {sim::FaultKind::Nak, R"(kestra_failures_total{kind="nak"})", nullptr},
        {sim::FaultKind::Busy, R"(kestra_failures_total{kind="busy"})", nullptr},
        {sim::FaultKind::Error, R"(kestra_failures_total{kind="device_error"})", "refused"},
        {sim::FaultKind::Silence, R"(kestra_failures_total{kind="silence"})", "unanswered"},
        {sim::FaultKind::Garble, R"(kestra_frames_total{kind="garbled"})", "garbled"},
        {sim::FaultKind::Echo, R"(kestra_frames_total{kind="echo"})", "echoes"},
        {sim::FaultKind::Foreign, R"(kestra_frames_total{kind="unasked"})", nullptr},
    };
    for (const auto& k : kinds) {
        sim_->SetFault({k.fault, 4, 1});
        EXPECT_TRUE(WaitFor([&] { return sample(k.series) == "1"; })) << k.series;
        const QJsonObject line = QJsonDocument::fromJson(Http("GET", "/api/health").body).object()["line"].toObject();
        EXPECT_TRUE(!k.health || line[QLatin1String(k.health)].toInt() == (k.health == std::string_view("refused") ? 3 : 1))
            << k.series << ": " << QJsonDocument(line).toJson().constData();
    }
    const QJsonObject replyMs = QJsonDocument::fromJson(Http("GET", "/api/health").body).object()["line"].toObject()["reply_ms"].toObject();
    EXPECT_TRUE(replyMs.contains("median") && replyMs["median"].toInt() <= replyMs["worst"].toInt()) << QJsonDocument(replyMs).toJson().constData();
    EXPECT_NE(sample(R"(kestra_reply_recent_seconds{stat="worst"})"), "");
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic3":{"position":79},"mic4":{"gain_db":-15.5}}})").status, 200);
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic3"})"), "-Inf");
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic4"})"), "-15.5");
    // The line fails: changes fail with it, and the state is read again on
    // its return. (Without a broker, unlike the MQTT side's own test of a
    // vanished device, so that the thread checker sees the link fail and reopen.)
    QSignalSpy online(core_.get(), &BridgeCore::onlineChanged);
    sim_->Vanish();
    ASSERT_TRUE(WaitFor([&] { return sample("kestra_online") == "0"; }, 10000));
    EXPECT_FALSE(core_->Online());
    EXPECT_EQ(sample(R"(kestra_gain_db{channel="mic4"})"), "");
    EXPECT_EQ(Http("PATCH", "/api/state", R"({"line_source":"aux"})").status, 503);
    sim::DeviceState changed = sim_->State();  // changed at the device while the line was down
    changed.live.lineSource = 4;
    sim_->SetState(changed);
    ASSERT_FALSE(sim_->Reappear().empty());
    EXPECT_TRUE(WaitFor([&] { return sample("kestra_online") == "1"; }, 10000));
    EXPECT_EQ(online.count(), 2);
    EXPECT_NE(sample(R"(kestra_failures_total{kind="reopen"})"), "0");
    EXPECT_EQ(core_->State().value("line_source").toString(), "aux");
    EXPECT_EQ(Http("PATCH", "/api/state", R"({"line_source":"tape"})").status, 200);
}

TEST(ServeProcess, PrometheusScrapesTheOnlineStateAndAGain)
{
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    const QString promtool = QStandardPaths::findExecutable("promtool");
    if (prometheus.isEmpty() || promtool.isEmpty()) {
        GTEST_SKIP() << "prometheus and promtool are not installed (Debian's prometheus: scripts/setup.sh test)";
    }
    QNetworkAccessManager net;
    auto get = [&](const QString& url) {
        QNetworkReply* r = net.get(QNetworkRequest(QUrl(url)));
        WaitFor([r] { return r->isFinished(); }, 10000);
        r->deleteLater();
        return r->readAll();
    };
    QTemporaryDir dir;
    const QString serving = QStringLiteral("127.0.0.1:%1").arg(FreePort());
    QProcess serve;
    serve.start(QStringLiteral(KESTRACTL_PROGRAM), {"--demo", "serve", "--listen", serving});
    QByteArray text;
    ASSERT_TRUE(WaitFor([&] { return Sample(text = get("http://" + serving + "/metrics"), "kestra_online") == "1"; }, 20000));
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(promtool, {"check", "metrics"});
    check.write(text);
    check.closeWriteChannel();
    EXPECT_TRUE(check.waitForFinished(20000) && check.exitCode() == 0) << check.readAll().constData();

    QFile config(dir.filePath("prometheus.yml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly) &&
                config.write("global: {scrape_interval: 1s}\nscrape_configs: [{job_name: kestra, static_configs: [{targets: ['" +
                             serving.toUtf8() + "']}]}]\n") > 0);
    config.close();
    const QString web = QStringLiteral("127.0.0.1:%1").arg(FreePort());  // serve holds its port by now
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                              "--web.listen-address=" + web});
    auto query = [&](const QString& q) {
        const QJsonObject answer = QJsonDocument::fromJson(get("http://" + web + "/api/v1/query?query=" + QUrl::toPercentEncoding(q))).object();
        return answer["data"]["result"][0]["value"][1].toString();
    };
    const QJsonObject state = QJsonDocument::fromJson(get("http://" + serving + "/api/state")).object();
    EXPECT_TRUE(WaitFor([&] { return query("kestra_online") == "1"; }, 30000)) << server.readAll().constData();
    EXPECT_EQ(query(R"(kestra_gain_db{channel="mic1"})").toDouble(), state["channels"]["mic1"]["gain_db"].toDouble());
    server.terminate();
    serve.terminate();
    EXPECT_TRUE(server.waitForFinished(10000) && serve.waitForFinished(10000));
}
