#include "MqttDiscovery.h"

#include "DeviceState.h"
#include "ItemKeys.h"
#include "KestraVersion.h"
#include "Mroutine.h"
#include "StateJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {
// "mic3" -> "MIC 3", "sub_left" -> "Sub left": the captions of the window and the web panel.
QString Caption(int channel)
{
    QString name = QString::fromLatin1(StateChannelName(channel));
    if (name.startsWith(QLatin1String("mic"))) {
        return QStringLiteral("MIC ") + name.mid(3);
    }
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return name.left(1).toUpper() + name.mid(1);
}

class Builder {
public:
    Builder(const DiscoveryOptions& o, const QString& topicPrefix) : o_(o), topics_(topicPrefix + QLatin1Char('/'))
    {
        device_ = QJsonObject{{"identifiers", QJsonArray{o.id}},
                              {"name", o.name},
                              {"model", "KESTRA"},
                              {"sw_version", QStringLiteral(KESTRA_VERSION)}};
        if (!o.configurationUrl.isEmpty()) {
            device_.insert(QStringLiteral("configuration_url"), o.configurationUrl);
        }
    }

    // An entity on the document path `path` (PREFIX/state/path, PREFIX/set/path).
    void Add(const char* component, const QString& object, const QString& name, const QString& path, QJsonObject config)
    {
        if (!path.isEmpty()) {
            config.insert(QStringLiteral("state_topic"), topics_ + QStringLiteral("state/") + path);
        }
        if (QLatin1String(component) != QLatin1String("binary_sensor") && !path.isEmpty()) {
            config.insert(QStringLiteral("command_topic"), topics_ + QStringLiteral("set/") + path);
        }
        config.insert(QStringLiteral("name"), name);
        config.insert(QStringLiteral("unique_id"), o_.id + QLatin1Char('_') + object);
        config.insert(QStringLiteral("availability_topic"), topics_ + QStringLiteral("status"));
        config.insert(QStringLiteral("device"), device_);
        out.push_back({QStringLiteral("%1/%2/%3/%4/config").arg(o_.prefix, QLatin1String(component), o_.id, object),
                       QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    QString Topic(const char* subtopic) const { return topics_ + QLatin1String(subtopic); }

    std::vector<DiscoveryMessage> out;

private:
    const DiscoveryOptions& o_;
    QString topics_;
    QJsonObject device_;
};

const QJsonObject kOnOff{{"payload_on", "true"}, {"payload_off", "false"}};

QJsonObject With(QJsonObject o, const QJsonObject& more)
{
    for (auto it = more.begin(); it != more.end(); ++it) {
        o.insert(it.key(), it.value());
    }
    return o;
}
}  // namespace

std::vector<DiscoveryMessage> DiscoveryConfigs(const DiscoveryOptions& o, const QString& topicPrefix)
{
    Builder b(o, topicPrefix);
    const QJsonObject config{{"entity_category", "config"}};
    // The gain scale from 0 dB down to its last level above mute, in its finest step.
    const QJsonObject gain{{"min", PositionToDb(kMutePosition - 1)},
                           {"max", PositionToDb(0)},
                           {"step", -PositionToDb(1)},
                           {"unit_of_measurement", "dB"},
                           {"payload_reset", "null"}};  // the state at the mute position
    for (int i = 0; i < kStateChannels; ++i) {
        const QString key = QString::fromLatin1(StateChannelName(i));
        const QString path = QStringLiteral("channels/") + key + QLatin1Char('/');
        b.Add("number", key + QStringLiteral("_gain"), Caption(i) + QStringLiteral(" gain"), path + QStringLiteral("gain_db"), gain);
        b.Add("switch", key + QStringLiteral("_mute"), Caption(i) + QStringLiteral(" mute"), path + QStringLiteral("mute"), kOnOff);
        if (i >= kFirstMicIndex) {
            b.Add("switch", key + QStringLiteral("_priority"), Caption(i) + QStringLiteral(" priority"),
                  path + QStringLiteral("priority"), With(kOnOff, config));
        }
    }
    for (const char* pair : {"sub", "master"}) {
        const QString p = QString::fromLatin1(pair);
        b.Add("switch", p + QStringLiteral("_ganged"), p.left(1).toUpper() + p.mid(1) + QStringLiteral(" ganged"),
              QStringLiteral("ganged/") + p, kOnOff);
    }
    b.Add("switch", QStringLiteral("manual_ducking"), QStringLiteral("Manual ducking"), QStringLiteral("ducking/manual"), kOnOff);
    b.Add("binary_sensor", QStringLiteral("ducking_active"), QStringLiteral("Ducking active"), QStringLiteral("ducking/active"),
          kOnOff);
    const char* settings[kDuckSettings] = {"Ducking threshold", "Ducking attenuation", "Ducking hold time",
                                           "Ducking fade-out", "Ducking fade-in"};
    for (int k = 0; k < kDuckSettings; ++k) {
        const DuckRange& r = DuckSettingRange(k);
        b.Add("number", QStringLiteral("ducking_") + QLatin1String(r.key), QLatin1String(settings[k]),
              QStringLiteral("ducking/") + QLatin1String(r.key),
              With(config, {{"min", r.lo}, {"max", r.hi}, {"step", 1}, {"mode", "box"}}));
    }
    b.Add("select", QStringLiteral("line_source"), QStringLiteral("Line source"), QStringLiteral("line_source"),
          {{"options", QJsonArray::fromStringList(LineSourceNames())}});
    b.Add("select", QStringLiteral("switch_on"), QStringLiteral("Switch-on setting"), QStringLiteral("switch_on"),
          With(config, {{"options", QJsonArray{kSwitchOnKeys[0], kSwitchOnKeys[1], kSwitchOnKeys[2], kSwitchOnKeys[3]}}}));
    for (int n = 1; n <= 3; ++n) {
        b.Add("button", QStringLiteral("load_preset%1").arg(n), QStringLiteral("Load preset %1").arg(n), QString(),
              {{"command_topic", b.Topic("preset/load")}, {"payload_press", QString::number(n)}});
    }
    return std::move(b.out);
}

QString DiscoveryIdOf(const QString& topicPrefix)
{
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_-]"));
    return QString(topicPrefix).replace(other, QStringLiteral("_"));
}

bool IsDiscoveryId(const QString& id)
{
    return !id.isEmpty() && DiscoveryIdOf(id) == id;
}

QByteArray DiscoveryRecord(const DiscoveryOptions& o)
{
    return QJsonDocument(QJsonObject{{"prefix", o.prefix}, {"id", o.id}}).toJson(QJsonDocument::Compact);
}

std::optional<DiscoveryOptions> ParseDiscoveryRecord(const QByteArray& payload)
{
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    DiscoveryOptions d;
    d.prefix = o.value(QLatin1String("prefix")).toString();
    d.id = o.value(QLatin1String("id")).toString();
    // Only what this bridge could have published: no wildcard, no climbing out of the prefix.
    static const QRegularExpression topic(QStringLiteral("^[^#+/]+(/[^#+/]+)*$"));
    if (!topic.match(d.prefix).hasMatch() || !IsDiscoveryId(d.id)) {
        return std::nullopt;
    }
    return d;
}
