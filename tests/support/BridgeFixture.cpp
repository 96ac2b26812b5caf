#include "BridgeFixture.h"

#include "Hex.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>

void BridgeFixture::StartBridge(const AccessRules& rules, const sim::SimOptions& options, ServeOptions serve)
{
    server_.reset();  // a fixture started again: the old server and core go before their device
    core_.reset();
    sim_ = std::make_unique<sim::KestraSim>(options);
    const std::string path = sim_->Start();
    ASSERT_FALSE(path.empty());
    core_ = std::make_unique<BridgeCore>(QString::fromStdString(path));
    ASSERT_TRUE(core_->Start()) << core_->LastError().toStdString();
    serve.port = 0;
    serve.access = rules;
    server_ = std::make_unique<BridgeServer>(*core_, serve);
    QString why;
    ASSERT_TRUE(server_->Start(&why)) << why.toStdString();
}

QString BridgeFixture::BaseUrl(const char* scheme) const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(server_->Port());
}

BridgeFixture::Answer BridgeFixture::Http(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body,
                                          const QByteArray& bearer, const QByteArray& origin,
                                          const QList<std::pair<QByteArray, QByteArray>>& headers)
{
    QNetworkRequest request(QUrl(BaseUrl() + pathAndQuery));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/merge-patch+json"));
    if (!bearer.isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + bearer);
    }
    if (!origin.isEmpty()) {
        request.setRawHeader("Origin", origin);
    }
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name, value);
    }
    QNetworkReply* reply = net_.sendCustomRequest(request, method, body);
    EXPECT_TRUE(WaitFor([reply] { return reply->isFinished(); }, 10000)) << method.constData() << ' ' << pathAndQuery.toStdString();
    Answer a;
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    a.body = reply->readAll();
    a.json = QJsonDocument::fromJson(a.body).object();
    reply->deleteLater();
    return a;
}

std::vector<std::string> BridgeFixture::Commands() const
{
    std::vector<std::string> out;
    for (const ByteVector& frame : sim_->Received()) {
        const LCmd c(frame);
        if (c.Sub() == 0x05 || c.Sub() == 0xAF || c.Sub() == 0xBF) {
            continue;
        }
        ByteVector b{c.Sub()};
        b.insert(b.end(), c.Payload().begin(), c.Payload().end());
        out.push_back(ToHex(b));
    }
    return out;
}

std::vector<std::pair<int, QByteArray>> BridgeFixture::Exchange(const QByteArray& request, std::size_t count, bool headFirst,
                                                                bool closes, const std::function<void(QTcpSocket&)>& sent)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, server_->Port());
    s.write(request);
    if (sent) {
        sent(s);
    }
    count = closes ? SIZE_MAX : count;
    std::vector<std::pair<int, QByteArray>> answers;
    QByteArray in;
    static const QRegularExpression length(QStringLiteral("(?i)content-length: *(\\d+)"));
    WaitFor([&] {
        in += s.readAll();
        for (qsizetype end; (end = in.indexOf("\r\n\r\n")) >= 0;) {
            const qsizetype body = headFirst && answers.empty() ? 0 : length.match(QString::fromLatin1(in.left(end))).captured(1).toLongLong();
            if (in.size() < end + 4 + body) {
                break;
            }
            answers.push_back({in.mid(9, 3).toInt(), in.mid(end + 4, body)});
            in.remove(0, end + 4 + body);
        }
        return answers.size() >= count || s.state() == QAbstractSocket::UnconnectedState;
    });
    EXPECT_TRUE(in.isEmpty()) << "left over: " << in.left(80).constData();
    EXPECT_TRUE(!closes || s.state() == QAbstractSocket::UnconnectedState) << "not closed";
    return answers;
}
