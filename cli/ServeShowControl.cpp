#include "ServeShowControl.h"

#include "MqttDiscovery.h"
#include "ShowControl.h"

#include <CLI/CLI.hpp>

#include <QFile>

namespace {
// "PORT", "ADDR:PORT", "[V6]:PORT", "HOST:PORT" (host names only where `names`).
std::optional<QString> HostPort(const std::string& text, const char* option, bool names, QString& host, quint16& port)
{
    const QString s = QString::fromStdString(text);
    const QString why = QStringLiteral("%1 %2: not %3").arg(QLatin1String(option), s,
                                                           names ? QStringLiteral("HOST:PORT") : QStringLiteral("[ADDR:]PORT"));
    const qsizetype colon = s.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint p = s.mid(colon + 1).toUInt(&ok);
    if (!ok || p == 0 || p > 65535 || (names && colon <= 0)) {
        return why;
    }
    host = colon > 0 ? s.left(colon) : QStringLiteral("127.0.0.1");
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    } else if (host.contains(QLatin1Char(':'))) {
        return why;  // IPv6 needs its brackets
    }
    if (!names && QHostAddress(host).isNull()) {
        return why;
    }
    port = static_cast<quint16>(p);
    return std::nullopt;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void AddShowControlOptions(CLI::App& serve, ShowControlArgs& a)
{
    serve.add_option("--osc", a.osc, "[ADDR:]PORT: OSC over UDP (PORT alone: on 127.0.0.1)");
    serve.add_option("--mqtt", a.mqtt, "HOST:PORT of an MQTT broker to publish the state on and take changes from");
    serve.add_option("--mqtt-topic", a.mqttTopic, "Topic prefix, e.g. building/floor2/room12/kestra (default kestra)");
    serve.add_option("--mqtt-user", a.mqttUser, "User name at the broker");
    serve.add_option("--mqtt-password-file", a.mqttPasswordFile, "File whose first line is the broker password");
    serve.add_option("--mqtt-cafile", a.mqttCaFile, "TLS: CA certificate (PEM) that signed the broker's certificate");
    serve.add_option("--mqtt-capath", a.mqttCaPath, "TLS: directory of CA certificates (e.g. /etc/ssl/certs)");
    serve.add_option("--mqtt-cert", a.mqttCert, "TLS: client certificate (PEM)");
    serve.add_option("--mqtt-key", a.mqttKey, "TLS: the client certificate's key (PEM)");
    serve.add_option("--mqtt-discovery", a.mqttDiscovery,
                     "Publish Home Assistant MQTT discovery configs under PREFIX (default homeassistant); started "
                     "without it, serve removes the configs an earlier run published")
        ->expected(0, 1)
        ->default_str("homeassistant");
    serve.add_option("--mqtt-id", a.mqttId,
                     "The mixer's unique id in Home Assistant (letters, digits, _ and -; default: the topic "
                     "prefix with / made _); keep it when the topic changes");
    serve.add_option("--mqtt-name", a.mqttName, "The mixer's name in Home Assistant (default: KESTRA and the topic prefix)");
}

std::optional<QString> CheckShowControlArgs(const ShowControlArgs& a)
{
    QString host;
    quint16 port = 0;
    if (!a.osc.empty()) {
        if (auto e = HostPort(a.osc, "--osc", false, host, port)) {
            return e;
        }
    }
    if (!a.mqtt.empty()) {
        if (auto e = HostPort(a.mqtt, "--mqtt", true, host, port)) {
            return e;
        }
    }
    // Wildcards or an empty level would make the bridge subscribe to others' topics.
    for (const auto& [option, value] : {std::pair{"--mqtt-topic", &a.mqttTopic}, std::pair{"--mqtt-discovery", &a.mqttDiscovery}}) {
        const QString topic = Q(*value);
        if ((topic.isEmpty() && value == &a.mqttTopic) || topic.contains(QLatin1Char('#')) || topic.contains(QLatin1Char('+')) ||
            topic.startsWith(QLatin1Char('/')) || topic.endsWith(QLatin1Char('/')) || topic.contains(QStringLiteral("//"))) {
            return QStringLiteral("%1 %2: a topic without wildcards (+, #) or empty levels").arg(QLatin1String(option), topic);
        }
    }
    if (!a.mqttId.empty() && !IsDiscoveryId(Q(a.mqttId))) {
        return QStringLiteral("--mqtt-id %1: letters, digits, _ and - only").arg(Q(a.mqttId));
    }
    if ((!a.mqttDiscovery.empty() || !a.mqttId.empty() || !a.mqttName.empty()) && a.mqtt.empty()) {
        return QStringLiteral("--mqtt-discovery, --mqtt-id and --mqtt-name need --mqtt");
    }
    if (a.mqttCert.empty() != a.mqttKey.empty()) {
        return QStringLiteral("--mqtt-cert and --mqtt-key go together");
    }
    if (!a.mqttCert.empty() && a.mqttCaFile.empty() && a.mqttCaPath.empty()) {
        return QStringLiteral("--mqtt-cert: TLS needs --mqtt-cafile or --mqtt-capath");
    }
    if (!a.mqttPasswordFile.empty() && a.mqttUser.empty()) {
        return QStringLiteral("--mqtt-password-file needs --mqtt-user");
    }
    return std::nullopt;
}

std::unique_ptr<ShowControl> StartShowControl(BridgeCore& core, const ShowControlArgs& a, bool readOnly,
                                              const QString& panelUrl, std::ostream& out, QString* error)
{
    if (a.osc.empty() && a.mqtt.empty()) {
        return nullptr;
    }
    auto show = std::make_unique<ShowControl>(core, readOnly);
    QString host;
    quint16 port = 0;
    if (!a.osc.empty()) {
        HostPort(a.osc, "--osc", false, host, port);
        if (!show->StartOsc(QHostAddress(host), port, error)) {
            return nullptr;
        }
        out << "OSC on udp://" << host.toStdString() << ':' << show->Osc()->Port() << '\n';
    }
    if (!a.mqtt.empty()) {
        HostPort(a.mqtt, "--mqtt", true, host, port);
        MqttOptions o;
        o.host = host;
        o.port = port;
        o.prefix = Q(a.mqttTopic);
        o.user = Q(a.mqttUser);
        if (!a.mqttPasswordFile.empty()) {
            QFile file(Q(a.mqttPasswordFile));
            if (!file.open(QIODevice::ReadOnly)) {
                *error = QStringLiteral("--mqtt-password-file %1: %2").arg(file.fileName(), file.errorString());
                return nullptr;
            }
            o.password = QString::fromUtf8(file.readLine()).trimmed();
        }
        o.caFile = Q(a.mqttCaFile);
        o.caPath = Q(a.mqttCaPath);
        o.certFile = Q(a.mqttCert);
        o.keyFile = Q(a.mqttKey);
        o.discovery.prefix = Q(a.mqttDiscovery);
        o.discovery.id = a.mqttId.empty() ? DiscoveryIdOf(o.prefix) : Q(a.mqttId);
        o.discovery.name = a.mqttName.empty() ? QStringLiteral("KESTRA ") + o.prefix : Q(a.mqttName);
        o.discovery.configurationUrl = panelUrl;
        if (!show->StartMqtt(o, error)) {
            return nullptr;
        }
        out << "MQTT at " << a.mqtt << " under " << a.mqttTopic << "/\n";
        if (!a.mqttDiscovery.empty()) {
            out << "Home Assistant discovery under " << a.mqttDiscovery << "/ as " << o.discovery.id.toStdString() << '\n';
        }
    }
    return show;
}
