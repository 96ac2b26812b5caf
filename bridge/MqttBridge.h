// `kestractl serve --mqtt`: the state document on a broker (MqttTopics.h),
// changes taken from PREFIX/set, and PREFIX/status "online"/"offline": the
// last will, so the broker says "offline" when the bridge vanishes, and
// "offline" too while the device's line is down.
//
// libmosquitto is driven from Qt's event loop (notifiers on its socket, a
// timer for its keep-alive), not by its own thread, whose select() fails for
// a descriptor numbered 1,024 or more. The broker's name is looked up
// without blocking; a failed lookup, connect or a lost connection is
// retried (1 s, doubling to 5 s) for as long as the bridge runs, logged once
// when it first fails and once when it is connected again. After each
// (re)connect the whole state is published again, retained.
//
// PREFIX/preset/load and PREFIX/preset/save take a preset's number (1..3).
// With discovery options, Home Assistant's discovery configs go out after
// the state (MqttDiscovery.h).
//
// Retained messages on the command topics are ignored with a log line,
// whenever they arrive (MQTT 5 keeps the flag as published): a change
// published with the retain flag by mistake would otherwise be applied again
// at every reconnect and undo every later change. The empty retained message
// that removes one is ignored silently. Refusals are logged at a bounded
// rate (RefusalLog).
#pragma once

#include "BridgeCalls.h"
#include "MqttDiscovery.h"
#include "RefusalLog.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class QHostInfo;
class QSocketNotifier;

struct mosquitto;
struct mosquitto_message;

struct MqttOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString prefix = QStringLiteral("kestra");
    QString clientId;  // empty: the library makes one
    QString user, password;
    // TLS when caFile or caPath is given; certFile/keyFile: a client certificate.
    QString caFile, caPath, certFile, keyFile;
    int keepAliveSeconds = 30;
    int firstRetryMs = 1000;  // after a failure; each further one waits twice as long, 5 s at most
    DiscoveryOptions discovery;
};

class MqttBridge : public QObject {
    Q_OBJECT
public:
    MqttBridge(BridgeCalls calls, MqttOptions options, QObject* parent = nullptr);
    ~MqttBridge() override;

    // Starts connecting (and reconnecting for as long as the bridge runs);
    // false only for options the library refuses.
    bool Start(QString* error);
    bool Connected() const { return connected_; }
    // Connection attempts so far (the first one included).
    int Attempts() const { return attempts_; }

    // The core's signals.
    void OnStateChanged(const QJsonObject& mergePatch);
    void OnOnlineChanged(bool online);

signals:
    void connectedChanged(bool connected);
    void rejected(const QString& line);
    // A connection failure (once until it is connected again) or recovery.
    void connectionLogged(const QString& line);

private:
    static void ConnectCallback(mosquitto*, void* self, int rc);
    static void DisconnectCallback(mosquitto*, void* self, int rc);
    static void MessageCallback(mosquitto*, void* self, const mosquitto_message* m);

    QString Where() const;
    void Connect();
    // A slot named by its signature: Qt 6.4 leaks the functor of a lookup
    // whose receiver is gone before it ends (a bridge stopped mid-lookup).
    Q_SLOT void OnLookedUp(const QHostInfo& info);
    void Drive(int (*step)(mosquitto*, int));
    void Watch();
    void Failed(const QString& why);
    void OnConnected(int rc);
    void OnMessage(const QString& topic, const QByteArray& payload, bool retained);
    void PublishAll();
    void Publish(const QString& subtopic, const QByteArray& payload);
    void PublishTopic(const QString& topic, const QByteArray& payload);
    void OnDiscoveryRecord(const QByteArray& payload);
    void Log(const QString& line);

    BridgeCalls calls_;
    MqttOptions options_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    bool started_ = false;
    bool hostGiven_ = false;  // libmosquitto has the host: later attempts reconnect
    int attempts_ = 0;
    int retryMs_;
    QString failure_;         // logged, not yet recovered from
    QSocketNotifier* read_ = nullptr;
    QSocketNotifier* write_ = nullptr;
    QTimer misc_, retry_;
    QSet<QString> removing_;  // an earlier run's configs, emptied once seen to be this bridge's
    RefusalLog log_;
};
