// What the OSC and MQTT bridges ask of the core that owns the device
// (BridgeCore): the state document, changes as merge patches and presets.
// Each answer comes back on the main thread through `Done`.
#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

struct BridgeCalls {
    // status says the outcome as HTTP would: 200 confirmed by the device,
    // 202 acknowledged without showing the value, 400 not allowed, 409 the
    // device holds another value, 502 refused by the device, 503 offline or
    // not read yet, 504 not answered.
    using Done = std::function<void(int status, QString message, QJsonObject state)>;
    static bool Succeeded(int status) { return status < 300; }

    std::function<QJsonObject()> state;
    std::function<std::optional<QString>(const QJsonObject&)> validate;
    std::function<void(const QJsonObject& mergePatch, Done)> applyPatch;
    std::function<void(int preset, Done)> loadPreset;
    std::function<void(int preset, Done)> savePreset;
    std::function<bool()> online;
    bool readOnly = false;  // serve's --read-only: every change is refused
};
