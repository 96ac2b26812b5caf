#include "MosquittoBroker.h"

#include "WaitFor.h"

#include <QTcpSocket>

bool MosquittoBroker::Start(bool anonymous)
{
    QFile file(dir_.filePath(QStringLiteral("mosquitto.conf")));
    if (PickPort() == 0 || !file.open(QIODevice::WriteOnly) ||
        file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous %2\n").arg(port_).arg(anonymous).toUtf8()) < 0) {
        why_ = QStringLiteral("no free port or config");
        return false;
    }
    file.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), file.fileName()});
    auto accepting = [this] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port_);
        return s.waitForConnected(200);
    };
    if (!WaitFor([&] { return process_.state() == QProcess::NotRunning || accepting(); }, 10000) ||
        process_.state() == QProcess::NotRunning) {
        why_ = QStringLiteral("mosquitto did not start: %1").arg(QString::fromLocal8Bit(process_.readAll()));
        return false;
    }
    return true;
}

void MosquittoBroker::Kill()
{
    process_.kill();
    process_.waitForFinished(5000);
}

void MosquittoBroker::Publish(const QString& topic, const QByteArray& payload)
{
    QProcess::execute(QStringLiteral("mosquitto_pub"), {"-p", QString::number(port_), "-q", "1", "-t", topic, "-m",
                                                        QString::fromUtf8(payload)});
}

MqttProbe::MqttProbe(quint16 port) { sub_.start(QStringLiteral("mosquitto_sub"), {"-p", QString::number(port), "-t", "#", "-v"}); }

QByteArray MqttProbe::Last(const QString& topic)
{
    while (sub_.canReadLine()) {  // "TOPIC PAYLOAD"
        const QByteArray line = sub_.readLine().chopped(1);
        const qsizetype space = line.indexOf(' ');
        const QByteArray payload = line.mid(space + 1);
        last_[QString::fromUtf8(line.left(space))] = payload == "(null)" ? QByteArray() : payload;
    }
    return last_[topic];
}

std::map<QString, QByteArray> MqttProbe::Under(const QString& prefix)
{
    Last({});
    std::map<QString, QByteArray> out;
    std::copy_if(last_.begin(), last_.end(), std::inserter(out, out.end()),
                 [&](const auto& m) { return m.first.startsWith(prefix) && !m.second.isEmpty(); });
    return out;
}
