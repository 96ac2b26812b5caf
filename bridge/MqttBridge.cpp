#include "MqttBridge.h"

#include "MqttTopics.h"

#include <QJsonDocument>

#include <QHostInfo>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {
constexpr int kQos = 1;
constexpr int kLongestRetryMs = 5000;

std::optional<QString> Error(int rc, const char* what)
{
    if (rc == MOSQ_ERR_SUCCESS) {
        return std::nullopt;
    }
    return QStringLiteral("MQTT %1: %2").arg(QLatin1String(what), QString::fromUtf8(mosquitto_strerror(rc)));
}

const char* OrNull(const QByteArray& b) { return b.isEmpty() ? nullptr : b.constData(); }
}  // namespace

MqttBridge::MqttBridge(BridgeCalls calls, MqttOptions options, QObject* parent)
    : QObject(parent), calls_(std::move(calls)), options_(std::move(options)), retryMs_(options_.firstRetryMs)
{
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });
    const QByteArray id = options_.clientId.toUtf8();
    mosq_ = mosquitto_new(OrNull(id), true, this);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_callback_set(mosq_, &MqttBridge::ConnectCallback);
    mosquitto_disconnect_callback_set(mosq_, &MqttBridge::DisconnectCallback);
    mosquitto_message_callback_set(mosq_, &MqttBridge::MessageCallback);
    misc_.setInterval(1000);
    connect(&misc_, &QTimer::timeout, this, [this] { Drive([](mosquitto* m, int) { return mosquitto_loop_misc(m); }); });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttBridge::Connect);
}

MqttBridge::~MqttBridge()
{
    started_ = false;
    if (connected_) {
        // Said on purpose: a clean disconnect does not trigger the last will.
        Publish(QStringLiteral("status"), "offline");
        mosquitto_disconnect(mosq_);
        for (int i = 0; i < 10 && mosquitto_want_write(mosq_); ++i) {
            mosquitto_loop_write(mosq_, 1);
        }
    }
    mosquitto_destroy(mosq_);
}

bool MqttBridge::Start(QString* error)
{
    const QByteArray will = (options_.prefix + QStringLiteral("/status")).toUtf8();
    const QByteArray user = options_.user.toUtf8(), password = options_.password.toUtf8();
    const QByteArray caFile = options_.caFile.toUtf8(), caPath = options_.caPath.toUtf8();
    const QByteArray cert = options_.certFile.toUtf8(), key = options_.keyFile.toUtf8();
    std::optional<QString> e = Error(mosquitto_will_set(mosq_, will.constData(), 7, "offline", kQos, true), "last will");
    if (!e && !user.isEmpty()) {
        e = Error(mosquitto_username_pw_set(mosq_, user.constData(), OrNull(password)), "user name");
    }
    if (!e && (!caFile.isEmpty() || !caPath.isEmpty())) {
        e = Error(mosquitto_tls_set(mosq_, OrNull(caFile), OrNull(caPath), OrNull(cert), OrNull(key), nullptr), "TLS");
    }
    if (e) {
        if (error != nullptr) {
            *error = *e;
        }
        return false;
    }
    started_ = true;
    Connect();
    return true;
}

QString MqttBridge::Where() const
{
    return QStringLiteral("mqtt: %1:%2").arg(options_.host).arg(options_.port);
}

// The name first, off the event loop's thread: libmosquitto's own lookup
// would block it for as long as the resolver takes.
void MqttBridge::Connect()
{
    ++attempts_;
    QHostInfo::lookupHost(options_.host, this, SLOT(OnLookedUp(QHostInfo)));
}

void MqttBridge::OnLookedUp(const QHostInfo& info)
{
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Failed(QStringLiteral("%1: cannot look the name up (%2), retrying").arg(Where(), info.errorString()));
        return;
    }
    const QByteArray host = options_.host.toUtf8();
    const int rc = hostGiven_ ? mosquitto_reconnect_async(mosq_)
                              : mosquitto_connect_async(mosq_, host.constData(), options_.port, options_.keepAliveSeconds);
    hostGiven_ = hostGiven_ || rc != MOSQ_ERR_INVAL;
    if (rc != MOSQ_ERR_SUCCESS) {
        Failed(QStringLiteral("%1: cannot connect (%2), retrying")
                   .arg(Where(), QString::fromUtf8(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc))));
        return;
    }
    Watch();
}

// Notifiers on the library's socket, which is another one after each connect.
void MqttBridge::Watch()
{
    const int fd = mosquitto_socket(mosq_);
    if (read_ != nullptr && read_->socket() != fd) {
        read_->setEnabled(false), write_->setEnabled(false);
        read_->deleteLater(), write_->deleteLater();  // perhaps within their own signal
        read_ = write_ = nullptr;
    }
    if (fd < 0) {
        misc_.stop();
        return;
    }
    if (read_ == nullptr) {
        read_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        write_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connect(read_, &QSocketNotifier::activated, this, [this] { Drive(mosquitto_loop_read); });
        connect(write_, &QSocketNotifier::activated, this, [this] { Drive(mosquitto_loop_write); });
        misc_.start();
    }
    write_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttBridge::Drive(int (*step)(mosquitto*, int))
{
    const int rc = step(mosq_, 1);  // a failed step has closed the socket
    Watch();
    if (rc != MOSQ_ERR_SUCCESS && !retry_.isActive() && !connected_) {
        const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromUtf8(std::strerror(errno)) : QString::fromUtf8(mosquitto_strerror(rc));
        Failed(QStringLiteral("%1: cannot connect (%2), retrying").arg(Where(), why));
    }
}

void MqttBridge::Failed(const QString& why)
{
    Watch();
    if (why != failure_) {
        failure_ = why;
        log_.Write(why);
        emit connectionLogged(why);
    }
    retry_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, std::max(options_.firstRetryMs, kLongestRetryMs));
}

// Called within Drive(), on this thread: what a connect or its loss does
// is done before the step's own outcome is looked at.
void MqttBridge::ConnectCallback(mosquitto*, void* self, int rc)
{
    static_cast<MqttBridge*>(self)->OnConnected(rc);
}

void MqttBridge::DisconnectCallback(mosquitto*, void* self, int rc)
{
    auto* b = static_cast<MqttBridge*>(self);
    if (!b->connected_) {
        return;  // a connect that failed: Drive() or OnConnected() tells why
    }
    b->connected_ = false;
    emit b->connectedChanged(false);
    if (rc != 0 && b->started_) {
        b->Failed(b->Where() + QStringLiteral(": connection lost, reconnecting"));
    }
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
        Failed(QStringLiteral("%1 refused the connection: %2")
                   .arg(Where(), QLatin1String(rc >= 128 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc))));
        return;
    }
    // Commands keep the retain flag as published, so that a retained one is
    // told apart whenever it arrives; the record is read as found.
    for (const char* topic : {"/set", "/set/#", "/preset/load", "/preset/save", "/discovery"}) {
        const int how = std::strcmp(topic, "/discovery") == 0 ? 0 : MQTT_SUB_OPT_RETAIN_AS_PUBLISHED;
        mosquitto_subscribe_v5(mosq_, nullptr, (options_.prefix + QLatin1String(topic)).toUtf8().constData(), kQos, how, nullptr);
    }
    connected_ = true;
    retryMs_ = options_.firstRetryMs;
    if (!failure_.isEmpty()) {
        failure_.clear();
        const QString line = Where() + QStringLiteral(": connected again");
        log_.Write(line);
        emit connectionLogged(line);
    }
    PublishAll();
    const DiscoveryOptions& discovery = options_.discovery;
    if (!discovery.prefix.isEmpty()) {
        for (const DiscoveryMessage& m : DiscoveryConfigs(discovery, options_.prefix)) {
            PublishTopic(m.topic, m.payload);
        }
        Publish(QStringLiteral("discovery"), DiscoveryRecord(discovery));
    }
    Watch();
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
    // Anyone may have written the record, so each config it names is read
    // first and emptied only if it is one of this bridge's (OnMessage).
    for (const DiscoveryMessage& m : DiscoveryConfigs(*was, options_.prefix)) {
        removing_.insert(m.topic);
        mosquitto_subscribe(mosq_, nullptr, m.topic.toUtf8().constData(), kQos);
    }
    if (now.prefix.isEmpty()) {
        Publish(QStringLiteral("discovery"), {});
    }
    log_.Write(QStringLiteral("mqtt: Home Assistant's configs of this bridge under %1/.../%2 removed").arg(was->prefix, was->id));
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
    if (removing_.remove(topic)) {
        mosquitto_unsubscribe(mosq_, nullptr, topic.toUtf8().constData());
        const QJsonObject config = QJsonDocument::fromJson(payload).object();
        if (config.value(QLatin1String("availability_topic")).toString() == options_.prefix + QStringLiteral("/status")) {
            PublishTopic(topic, {});
        }
        return;
    }
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
        if (!payload.isEmpty()) {  // empty: the way to remove one
            Log(QStringLiteral("mqtt: %1: retained message ignored: a command is taken when it is sent, not at every "
                               "connect (remove it: mosquitto_pub -r -n -t '%1')")
                    .arg(topic));
        }
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
