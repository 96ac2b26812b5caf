#include "MosquittoBroker.h"

#include "WaitFor.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <mosquitto.h>

MosquittoBroker::~MosquittoBroker()
{
    Kill();
}

quint16 MosquittoBroker::PickPort()
{
    if (port_ == 0) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, 0)) {
            port_ = probe.serverPort();
        }
    }
    return port_;
}

bool MosquittoBroker::Start()
{
    if (PickPort() == 0) {
        why_ = QStringLiteral("no free port");
        return false;
    }
    QFile file(dir_.filePath(QStringLiteral("mosquitto.conf")));
    const QByteArray config = QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                                  .arg(port_)
                                  .toUtf8();
    if (!dir_.isValid() || !file.open(QIODevice::WriteOnly) || file.write(config) < 0) {
        why_ = QStringLiteral("cannot write the config");
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
    if (!process_.waitForStarted(5000) || !WaitFor([&] { return process_.state() != QProcess::Running || accepting(); }, 10000) ||
        process_.state() != QProcess::Running) {
        why_ = QStringLiteral("mosquitto did not start: %1").arg(QString::fromLocal8Bit(process_.readAll()));
        Kill();
        return false;
    }
    return true;
}

void MosquittoBroker::Kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

MqttProbe::MqttProbe(quint16 port)
{
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
        auto* p = static_cast<MqttProbe*>(self);
        std::lock_guard lock(p->mutex_);
        p->connected_ = rc == 0;
        mosquitto_subscribe(m, nullptr, "#", 1);
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* p = static_cast<MqttProbe*>(self);
        std::lock_guard lock(p->mutex_);
        p->last_[QString::fromUtf8(m->topic)] = QByteArray(static_cast<const char*>(m->payload), m->payloadlen);
    });
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

MqttProbe::~MqttProbe()
{
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

bool MqttProbe::Connected() const
{
    std::lock_guard lock(mutex_);
    return connected_;
}

QByteArray MqttProbe::Last(const QString& topic) const
{
    std::lock_guard lock(mutex_);
    auto it = last_.find(topic);
    return it == last_.end() ? QByteArray() : it->second;
}

void MqttProbe::Forget()
{
    std::lock_guard lock(mutex_);
    last_.clear();
}

void MqttProbe::Publish(const QString& topic, const QByteArray& payload)
{
    mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(), static_cast<int>(payload.size()), payload.constData(), 1, false);
}
