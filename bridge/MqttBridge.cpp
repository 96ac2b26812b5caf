#include "MqttBridge.h"

#include "MqttTopics.h"

#include <QJsonDocument>

#include <mosquitto.h>

#include <mutex>

namespace {
constexpr int kQos = 1;

std::optional<QString> Failed(int rc, const char* what)
{
    if (rc == MOSQ_ERR_SUCCESS) {
        return std::nullopt;
    }
    return QStringLiteral("MQTT %1: %2").arg(QLatin1String(what), QString::fromUtf8(mosquitto_strerror(rc)));
}

const char* OrNull(const QByteArray& b) { return b.isEmpty() ? nullptr : b.constData(); }
}  // namespace

MqttBridge::MqttBridge(BridgeCalls calls, MqttOptions options, QObject* parent)
    : QObject(parent), calls_(std::move(calls)), options_(std::move(options))
{
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });
    const QByteArray id = options_.clientId.toUtf8();
    mosq_ = mosquitto_new(OrNull(id), true, this);
    mosquitto_connect_callback_set(mosq_, &MqttBridge::ConnectCallback);
    mosquitto_disconnect_callback_set(mosq_, &MqttBridge::DisconnectCallback);
    mosquitto_message_callback_set(mosq_, &MqttBridge::MessageCallback);
}

MqttBridge::~MqttBridge()
{
    if (started_) {
        // Said on purpose: a clean disconnect does not trigger the last will.
        Publish(QStringLiteral("status"), "offline");
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
    }
    mosquitto_destroy(mosq_);
}

bool MqttBridge::Start(QString* error)
{
    const QByteArray will = (options_.prefix + QStringLiteral("/status")).toUtf8();
    const QByteArray user = options_.user.toUtf8(), password = options_.password.toUtf8();
    const QByteArray caFile = options_.caFile.toUtf8(), caPath = options_.caPath.toUtf8();
    const QByteArray cert = options_.certFile.toUtf8(), key = options_.keyFile.toUtf8();
    std::optional<QString> e = Failed(mosquitto_will_set(mosq_, will.constData(), 7, "offline", kQos, true), "last will");
    if (!e && !user.isEmpty()) {
        e = Failed(mosquitto_username_pw_set(mosq_, user.constData(), OrNull(password)), "user name");
    }
    if (!e && (!caFile.isEmpty() || !caPath.isEmpty())) {
        e = Failed(mosquitto_tls_set(mosq_, OrNull(caFile), OrNull(caPath), OrNull(cert), OrNull(key), nullptr), "TLS");
    }
    if (!e) {
        e = Failed(mosquitto_reconnect_delay_set(mosq_, 1, 5, true), "reconnect delay");
    }
    if (e) {
        if (error != nullptr) {
            *error = *e;
        }
        return false;
    }
    // The network thread first: a broker that is not up yet is then no
    // error, the thread keeps trying (started after a failed first connect,
    // libmosquitto's thread gives up at once).
    if (auto loop = Failed(mosquitto_loop_start(mosq_), "network thread")) {
        if (error != nullptr) {
            *error = *loop;
        }
        return false;
    }
    const int rc = mosquitto_connect_async(mosq_, options_.host.toUtf8().constData(), options_.port,
                                           options_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO) {
        mosquitto_loop_stop(mosq_, true);
        if (error != nullptr) {
            *error = *Failed(rc, "connect");
        }
        return false;
    }
    started_ = true;
    return true;
}

void MqttBridge::ConnectCallback(mosquitto*, void* self, int rc)
{
    auto* b = static_cast<MqttBridge*>(self);
    QMetaObject::invokeMethod(b, [b, rc] { b->OnConnected(rc); }, Qt::QueuedConnection);
}

void MqttBridge::DisconnectCallback(mosquitto*, void* self, int rc)
{
    auto* b = static_cast<MqttBridge*>(self);
    QMetaObject::invokeMethod(
        b,
        [b, rc] {
            if (rc != 0 && b->connected_) {  // refusals are told by OnConnected, once per attempt
                b->Log(QStringLiteral("mqtt: %1:%2: connection lost, reconnecting").arg(b->options_.host).arg(b->options_.port));
            }
            b->connected_ = false;
            emit b->connectedChanged(false);
        },
        Qt::QueuedConnection);
}

void MqttBridge::MessageCallback(mosquitto*, void* self, const mosquitto_message* m)
{
    auto* b = static_cast<MqttBridge*>(self);
    const QString topic = QString::fromUtf8(m->topic);
    const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
    const bool retained = m->retain;
    QMetaObject::invokeMethod(b, [b, topic, payload, retained] { b->OnMessage(topic, payload, retained); }, Qt::QueuedConnection);
}

void MqttBridge::OnConnected(int rc)
{
    if (rc != 0) {
        Log(QStringLiteral("mqtt: %1:%2 refused the connection: %3")
                .arg(options_.host)
                .arg(options_.port)
                .arg(QLatin1String(mosquitto_connack_string(rc))));
        return;
    }
    for (const char* topic : {"/set", "/set/#", "/preset/load", "/preset/save", "/discovery"}) {
        mosquitto_subscribe(mosq_, nullptr, (options_.prefix + QLatin1String(topic)).toUtf8().constData(), kQos);
    }
    connected_ = true;
    PublishAll();
    const DiscoveryOptions& discovery = options_.discovery;
    if (!discovery.prefix.isEmpty()) {
        for (const DiscoveryMessage& m : DiscoveryConfigs(discovery, options_.prefix)) {
            PublishTopic(m.topic, m.payload);
        }
        Publish(QStringLiteral("discovery"), DiscoveryRecord(discovery));
    }
    emit connectedChanged(true);
}

void MqttBridge::OnDiscoveryRecord(const QByteArray& payload)
{
    const std::optional<DiscoveryOptions> was = ParseDiscoveryRecord(payload);
    const DiscoveryOptions& now = options_.discovery;
    if (!was || (was->prefix == now.prefix && was->id == now.id)) {
        return;
    }
    // Published by an earlier run under another prefix or id, or discovery
    // is off now: Home Assistant forgets an entity whose config is emptied.
    for (const DiscoveryMessage& m : DiscoveryConfigs(*was, options_.prefix)) {
        PublishTopic(m.topic, {});
    }
    if (now.prefix.isEmpty()) {
        Publish(QStringLiteral("discovery"), {});
    }
    log_.Write(QStringLiteral("mqtt: Home Assistant's configs under %1/.../%2 removed").arg(was->prefix, was->id));
}

void MqttBridge::PublishAll()
{
    const QJsonObject state = calls_.state();
    Publish(QStringLiteral("state"), QJsonDocument(state).toJson(QJsonDocument::Compact));
    for (const MqttLeaf& leaf : MqttLeaves(state)) {
        Publish(QStringLiteral("state/") + leaf.path, leaf.payload);
    }
    Publish(QStringLiteral("status"), calls_.online() ? "online" : "offline");
}

void MqttBridge::OnStateChanged(const QJsonObject& mergePatch)
{
    if (!connected_) {
        return;  // the next connect publishes everything
    }
    Publish(QStringLiteral("state"), QJsonDocument(calls_.state()).toJson(QJsonDocument::Compact));
    for (const MqttLeaf& leaf : MqttLeaves(mergePatch)) {
        Publish(QStringLiteral("state/") + leaf.path, leaf.payload);
    }
}

void MqttBridge::OnOnlineChanged(bool online)
{
    if (connected_) {
        if (online) {  // back after the full read: the retained state may be stale
            PublishAll();
        } else {
            Publish(QStringLiteral("status"), "offline");
        }
    }
}

void MqttBridge::OnMessage(const QString& topic, const QByteArray& payload, bool retained)
{
    const QString set = options_.prefix + QStringLiteral("/set");
    const QString preset = options_.prefix + QStringLiteral("/preset/");
    if (topic == options_.prefix + QStringLiteral("/discovery")) {
        if (retained) {  // the record as this bridge found it, not what it publishes now
            OnDiscoveryRecord(payload);
        }
        return;
    }
    QString path;
    if (topic.startsWith(preset)) {
        path = topic.mid(preset.size());  // load, save: what the subscription lets through
    } else if (topic.startsWith(set + QLatin1Char('/'))) {
        path = topic.mid(set.size() + 1);
        if (path.isEmpty()) {
            Log(QStringLiteral("mqtt: %1: unknown key (a merge patch goes to %2)").arg(topic, set));
            return;
        }
    } else if (topic != set) {
        return;
    }
    if (retained) {
        Log(QStringLiteral("mqtt: %1: retained message ignored: a command is taken when it is sent, not at every "
                           "connect (remove it: mosquitto_pub -r -n -t '%1')")
                .arg(topic));
        return;
    }
    if (topic.startsWith(preset)) {
        auto n = ParseMqttPreset(payload);
        auto* e = std::get_if<QString>(&n);
        if (e != nullptr || calls_.readOnly) {
            Log(QStringLiteral("mqtt: %1: %2").arg(topic, e != nullptr ? *e : QStringLiteral("read-only bridge, changes are refused")));
            return;
        }
        auto done = [this, topic](int status, const QString& error, const QJsonObject&) {
            if (!BridgeCalls::Succeeded(status)) {
                Log(QStringLiteral("mqtt: %1: %2").arg(topic, error));
            }
        };
        (path == QLatin1String("load") ? calls_.loadPreset : calls_.savePreset)(std::get<int>(n), done);
        return;
    }
    auto parsed = ParseMqttSet(path, payload);
    if (auto* e = std::get_if<QString>(&parsed)) {
        Log(QStringLiteral("mqtt: %1/%2").arg(options_.prefix, *e));
        return;
    }
    const QJsonObject patch = std::get<QJsonObject>(parsed);
    if (calls_.readOnly) {
        Log(QStringLiteral("mqtt: %1: read-only bridge, changes are refused").arg(topic));
    } else if (auto e = calls_.validate(patch)) {
        Log(QStringLiteral("mqtt: %1: %2").arg(topic, *e));
    } else {
        calls_.applyPatch(patch, [this, topic](int status, const QString& error, const QJsonObject&) {
            if (!BridgeCalls::Succeeded(status)) {
                Log(QStringLiteral("mqtt: %1: %2").arg(topic, error));
            }
        });
    }
}

void MqttBridge::Publish(const QString& subtopic, const QByteArray& payload)
{
    PublishTopic(options_.prefix + QLatin1Char('/') + subtopic, payload);
}

void MqttBridge::PublishTopic(const QString& topic, const QByteArray& payload)
{
    mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(), static_cast<int>(payload.size()), payload.constData(),
                      kQos, true);
}

void MqttBridge::Log(const QString& line)
{
    log_.Write(line);
    emit rejected(line);
}
