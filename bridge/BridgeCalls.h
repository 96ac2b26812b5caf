// What the OSC and MQTT bridges ask of the core that owns the device
// (BridgeCore): the state document, changes as merge patches and presets.
// Each answer comes back on the main thread through `Done`.
#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

struct BridgeCalls {
    using Done = std::function<void(bool ok, QString error, QJsonObject state)>;

    std::function<QJsonObject()> state;
    std::function<std::optional<QString>(const QJsonObject&)> validate;
    std::function<void(const QJsonObject& mergePatch, Done)> applyPatch;
    std::function<void(int preset, Done)> loadPreset;
    std::function<void(int preset, Done)> savePreset;
    std::function<bool()> online;
    bool readOnly = false;  // serve's --read-only: every change is refused
};
