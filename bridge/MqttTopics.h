// The state document on MQTT topics, below the bridge's prefix:
//   PREFIX/state                          the whole document (JSON)
//   PREFIX/state/channels/mic3/gain_db    one message per leaf: JSON numbers,
//   PREFIX/state/line_source ...          true/false, null; strings bare (cd)
//   PREFIX/set                            a merge patch of the document
//   PREFIX/set/channels/mic3/mute         one value for that path (JSON, or a bare word)
//   PREFIX/preset/load, PREFIX/preset/save  a preset's number, 1..3
// No broker here: MqttBridge does the connection with libmosquitto.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <variant>
#include <vector>

inline constexpr qsizetype kMaxMqttPayload = 64 * 1024;

struct MqttLeaf {
    QString path;  // "channels/mic3/gain_db"
    QByteArray payload;
    bool operator==(const MqttLeaf&) const = default;
};

// Every leaf of `document` (the whole state or a merge patch of it) but the
// format header.
std::vector<MqttLeaf> MqttLeaves(const QJsonObject& document);

// A message on PREFIX/set (`path` empty) or PREFIX/set/`path` as a merge
// patch the core takes (BridgeCore::ValidatePatch), or the error text naming
// what is wrong.
std::variant<QJsonObject, QString> ParseMqttSet(const QString& path, const QByteArray& payload);

// A message on PREFIX/preset/load or .../save: the preset's number, or the error text.
std::variant<int, QString> ParseMqttPreset(const QByteArray& payload);
