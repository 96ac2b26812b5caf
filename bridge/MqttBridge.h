// `kestractl serve --mqtt`: the state document on a broker (MqttTopics.h),
// changes taken from PREFIX/set, and PREFIX/status "online"/"offline": the
// last will, so the broker says "offline" when the bridge vanishes, and
// "offline" too while the device's line is down.
//
// libmosquitto runs its network loop on a thread of its own and reconnects
// by itself; its callbacks only post to this object, and everything else
// (the core, publishing) happens on the main thread. After each (re)connect
// the whole state is published again, retained.
//
// PREFIX/preset/load and PREFIX/preset/save take a preset's number (1..3).
// With discovery options, Home Assistant's discovery configs go out after
// the state (MqttDiscovery.h).
//
// Retained messages on the command topics are ignored with a log line: a
// change published with the retain flag by mistake would otherwise be
// applied again at every reconnect and undo every later change. Refusals
// are logged at a bounded rate (RefusalLog).
#pragma once

#include "BridgeCalls.h"
#include "MqttDiscovery.h"
#include "RefusalLog.h"

#include <QObject>
#include <QString>

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

    // The core's signals.
    void OnStateChanged(const QJsonObject& mergePatch);
    void OnOnlineChanged(bool online);

signals:
    void connectedChanged(bool connected);
    void rejected(const QString& line);

private:
    static void ConnectCallback(mosquitto*, void* self, int rc);
    static void DisconnectCallback(mosquitto*, void* self, int rc);
    static void MessageCallback(mosquitto*, void* self, const mosquitto_message* m);

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
    RefusalLog log_;
};
