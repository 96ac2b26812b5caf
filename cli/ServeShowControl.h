// The OSC and MQTT options of `kestractl serve`:
//   --osc [ADDR:]PORT         OSC over UDP; PORT alone listens on 127.0.0.1,
//                             since OSC carries no token
//   --mqtt HOST:PORT          the broker; --mqtt-topic PREFIX (default "kestra")
//   --mqtt-user USER --mqtt-password-file FILE
//   --mqtt-cafile FILE | --mqtt-capath DIR   TLS, checking the broker's certificate
//   --mqtt-cert FILE --mqtt-key FILE         a client certificate
//   --mqtt-discovery [PREFIX]  Home Assistant's discovery (MqttDiscovery.h),
//                             --mqtt-id ID and --mqtt-name NAME for its device
#pragma once

#include <QHostAddress>
#include <QString>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace CLI {
class App;
}
class BridgeCore;
class ShowControl;

struct ShowControlArgs {
    std::string osc;
    std::string mqtt;
    std::string mqttTopic = "kestra";
    std::string mqttUser, mqttPasswordFile;
    std::string mqttCaFile, mqttCaPath, mqttCert, mqttKey;
    std::string mqttDiscovery;  // the discovery prefix; empty: off
    std::string mqttId, mqttName;
};

void AddShowControlOptions(CLI::App& serve, ShowControlArgs& args);

// Usage errors, found before anything starts.
std::optional<QString> CheckShowControlArgs(const ShowControlArgs& args);

// Starts what the options ask for (nothing: a null pointer and no error).
// panelUrl: the web panel's address, for Home Assistant's device page.
std::unique_ptr<ShowControl> StartShowControl(BridgeCore& core, const ShowControlArgs& args, bool readOnly,
                                              const QString& panelUrl, std::ostream& out, QString* error);
