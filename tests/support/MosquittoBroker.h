// Test helpers: Debian's mosquitto broker on a free 127.0.0.1 port from a
// generated config (no persistence: a restart forgets retained messages),
// and its command-line clients: one that keeps the last message of every
// topic, and one-off publishing.
#pragma once

#include "FreePort.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <map>

class MosquittoBroker {
public:
    ~MosquittoBroker() { Kill(); }
    // The port Start() listens on, chosen on the first call.
    quint16 PickPort() { return port_ = port_ != 0 ? port_ : FreePort(); }
    quint16 Port() const { return port_; }
    // Starts it and waits until it accepts connections; false with Why() when not.
    // `anonymous`: clients without a user name are taken (else refused).
    bool Start(bool anonymous = true);
    void Kill();
    QString Why() const { return why_; }
    void Publish(const QString& topic, const QByteArray& payload);

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString why_;
};

// mosquitto_sub on every topic; Last() reads what arrived (with the event loop running).
class MqttProbe {
public:
    explicit MqttProbe(quint16 port);
    QByteArray Last(const QString& topic);  // empty if none, or emptied
    // The topics under `prefix` whose last message was not empty.
    std::map<QString, QByteArray> Under(const QString& prefix);

private:
    QProcess sub_;
    std::map<QString, QByteArray> last_;
};
