// Test helpers: Debian's mosquitto broker on a free 127.0.0.1 port from a
// generated config (no persistence: a restart forgets retained messages),
// and a client that keeps the last message of every topic it hears.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <mutex>

struct mosquitto;

class MosquittoBroker {
public:
    ~MosquittoBroker();
    // Starts it (on the port of the last start, if any) and waits until it
    // accepts connections; false with Why() set when it does not.
    bool Start();
    // The port the next Start() listens on, chosen now (free a moment ago).
    quint16 PickPort();
    void Kill();
    quint16 Port() const { return port_; }
    QString Why() const { return why_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString why_;
};

class MqttProbe {
public:
    explicit MqttProbe(quint16 port);  // hears every topic
    ~MqttProbe();
    bool Connected() const;
    // The last payload seen on `topic`, empty if none.
    QByteArray Last(const QString& topic) const;
    void Forget();
    void Publish(const QString& topic, const QByteArray& payload);

private:
    mosquitto* mosq_;
    mutable std::mutex mutex_;
    std::map<QString, QByteArray> last_;
    bool connected_ = false;
};
