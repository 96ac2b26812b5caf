// Home Assistant's MQTT discovery for `kestractl serve --mqtt-discovery`:
// one retained config per entity, at
//   DISCOVERY/<component>/<id>/<object>/config
// all of one device (the mixer, `id`), on the bridge's own topics (MqttTopics.h):
// state from PREFIX/state/..., commands to PREFIX/set/... and
// PREFIX/preset/load, availability from PREFIX/status. Switches and the
// binary sensor use the topics' own true/false, selects their bare words,
// numbers plain numbers: what Home Assistant sends is what the command
// topics take, checked there as every command is.
//
// The bridge keeps what it published in a retained record on
// PREFIX/discovery ({"prefix": DISCOVERY, "id": ID}). Started without
// discovery, or with another prefix or id, it finds that record and clears
// the configs it names (empty retained messages), so that Home Assistant
// drops the entities instead of showing them unavailable for ever.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct DiscoveryOptions {
    QString prefix;            // "homeassistant"; empty: no discovery
    QString id;                // the mixer's unique id: [A-Za-z0-9_-]
    QString name;              // the device's name in Home Assistant
    QString configurationUrl;  // the web panel, or empty
    bool operator==(const DiscoveryOptions&) const = default;
};

struct DiscoveryMessage {
    QString topic;
    QByteArray payload;
};

// Every entity's config for the bridge under `topicPrefix`.
std::vector<DiscoveryMessage> DiscoveryConfigs(const DiscoveryOptions& options, const QString& topicPrefix);

// The default id: the topic prefix with every other character made "_"
// ("building/floor2/room12/kestra" -> "building_floor2_room12_kestra").
QString DiscoveryIdOf(const QString& topicPrefix);
bool IsDiscoveryId(const QString& id);

// The record kept on PREFIX/discovery, and read back (nothing when it is not one).
QByteArray DiscoveryRecord(const DiscoveryOptions& options);
std::optional<DiscoveryOptions> ParseDiscoveryRecord(const QByteArray& payload);
