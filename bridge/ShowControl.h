// The OSC and MQTT sides of `kestractl serve` on one BridgeCore: each is
// started on request and follows the core's changes and line state.
#pragma once

#include "BridgeCalls.h"
#include "MqttBridge.h"
#include "OscBridge.h"

#include <memory>

class BridgeCore;

// What the core offers the bridges; readOnly refuses every change.
BridgeCalls CallsOf(BridgeCore& core, bool readOnly);

class ShowControl : public QObject {
public:
    ShowControl(BridgeCore& core, bool readOnly, QObject* parent = nullptr);
    ~ShowControl() override;

    bool StartOsc(const QHostAddress& address, quint16 port, QString* error);
    bool StartMqtt(const MqttOptions& options, QString* error);

    OscBridge* Osc() const { return osc_.get(); }
    MqttBridge* Mqtt() const { return mqtt_.get(); }

private:
    BridgeCore& core_;
    bool readOnly_;
    std::unique_ptr<OscBridge> osc_;
    std::unique_ptr<MqttBridge> mqtt_;
};
