#include "ShowControl.h"

#include "BridgeCore.h"

BridgeCalls CallsOf(BridgeCore& core, bool readOnly)
{
    BridgeCalls c;
    c.state = [&core] { return core.State(); };
    c.validate = &BridgeCore::ValidatePatch;
    c.applyPatch = [&core](const QJsonObject& patch, BridgeCalls::Done done) { core.ApplyPatch(patch, std::move(done)); };
    c.loadPreset = [&core](int n, BridgeCalls::Done done) { core.LoadPreset(n, std::move(done)); };
    c.savePreset = [&core](int n, BridgeCalls::Done done) { core.SavePreset(n, std::move(done)); };
    c.online = [&core] { return core.Online(); };
    c.readOnly = readOnly;
    return c;
}

ShowControl::ShowControl(BridgeCore& core, bool readOnly, QObject* parent)
    : QObject(parent), core_(core), readOnly_(readOnly)
{
}

ShowControl::~ShowControl() = default;

bool ShowControl::StartOsc(const QHostAddress& address, quint16 port, QString* error)
{
    osc_ = std::make_unique<OscBridge>(CallsOf(core_, readOnly_));
    if (!osc_->Listen(address, port, error)) {
        osc_.reset();
        return false;
    }
    connect(&core_, &BridgeCore::stateChanged, osc_.get(), &OscBridge::OnStateChanged);
    return true;
}

bool ShowControl::StartMqtt(const MqttOptions& options, QString* error)
{
    mqtt_ = std::make_unique<MqttBridge>(CallsOf(core_, readOnly_), options);
    connect(&core_, &BridgeCore::stateChanged, mqtt_.get(), &MqttBridge::OnStateChanged);
    connect(&core_, &BridgeCore::onlineChanged, mqtt_.get(), &MqttBridge::OnOnlineChanged);
    if (!mqtt_->Start(error)) {
        mqtt_.reset();
        return false;
    }
    return true;
}
