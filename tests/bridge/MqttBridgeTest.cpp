// MQTT against a real mosquitto broker on a local port, the core on the
// simulated KESTRA: retained state and leaves, set topics, status, broker
// restarts, a device that goes away and the last will.
#include "BridgeFixture.h"
#include "MosquittoBroker.h"
#include "ShowControl.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

const QString kPrefix = QStringLiteral("building/floor2/room12/kestra/");

class MqttBridgeTest : public BridgeFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
        probe = std::make_unique<MqttProbe>(broker.Port());
        sim::SimOptions device;  // a link that follows the device when it is unplugged and back
        device.linkPath = dir.filePath(QStringLiteral("kestra")).toStdString();
        ASSERT_NO_FATAL_FAILURE(StartBridge({}, device));
        show = std::make_unique<ShowControl>(*core_, false);
        MqttOptions options;
        options.port = broker.Port();
        options.prefix = kPrefix.chopped(1);
        QString error;
        ASSERT_TRUE(show->StartMqtt(options, &error)) << error.toStdString();
        ASSERT_TRUE(WaitFor([&] { return Heard("status") == "online"; }, 10000));
    }
    QByteArray Heard(const char* topic) { return probe->Last(kPrefix + QLatin1String(topic)); }
    bool StatePublished() { return QJsonDocument::fromJson(Heard("state")).object() == core_->state(); }
    sim::Settings Live() const { return sim_->State().live; }

    QTemporaryDir dir;
    MosquittoBroker broker;
    std::unique_ptr<ShowControl> show;
    std::unique_ptr<MqttProbe> probe;
};

}  // namespace

// Bad messages first (each rule: MqttTopics): nothing of them reaches the
// device and a line says why; the good ones after them are the only change.
TEST_F(MqttBridgeTest, PublishesStateTakesChangesRefusesBadInput)
{
    ASSERT_TRUE(WaitFor([&] { return StatePublished() && Heard("state/line_source") == "tuner"; }));
    QSignalSpy rejected(show->Mqtt(), &MqttBridge::rejected);
    sim::Settings expected = Live();
    broker.Publish(kPrefix + "set/ducking/hold_time", "0");
    broker.Publish(kPrefix + "set/channels/mic3/mute", "true");
    broker.Publish(kPrefix + "set", R"({"ducking":{"threshold":40}})");
    ASSERT_TRUE(WaitFor([&] { return Live().micMute[2] && Live().threshold == 40; }));
    expected.micMute[2] = true;
    expected.threshold = 40;
    EXPECT_EQ(Live(), expected);
    EXPECT_EQ(rejected.size(), 1);
    EXPECT_TRUE(WaitFor([&] {
        return Heard("state/channels/mic3/mute") == "true" && Heard("state/ducking/threshold") == "40" && StatePublished();
    }));
}

// The broker forgets everything; the bridge reconnects and publishes it all
// again. A device that goes away shows as "offline".
TEST_F(MqttBridgeTest, SurvivesBrokerRestartAndDeviceLoss)
{
    broker.Kill();
    ASSERT_TRUE(WaitFor([&] { return !show->Mqtt()->Connected(); }));
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    probe = std::make_unique<MqttProbe>(broker.Port());
    EXPECT_TRUE(WaitFor([&] { return StatePublished() && Heard("status") == "online"; }, 15000));
    sim_->Vanish();
    EXPECT_TRUE(WaitFor([&] { return Heard("status") == "offline"; }, 15000));
    sim_->Reappear();
    EXPECT_TRUE(WaitFor([&] { return Heard("status") == "online"; }, 15000));
}

// A bridge started before its broker connects once the broker is up, and
// killed without a word it leaves its last will: "offline".
TEST(MqttLastWill, LateBrokerAndTheBridgeDying)
{
    MosquittoBroker broker;
    QProcess bridge;
    bridge.start(QStringLiteral(KESTRACTL_PROGRAM),
                 {"--demo", "serve", "--listen", QStringLiteral("127.0.0.1:%1").arg(FreePort()), "--mqtt",
                  QStringLiteral("127.0.0.1:%1").arg(broker.PickPort()), "--mqtt-topic", kPrefix.chopped(1)});
    ASSERT_TRUE(WaitFor([&] { return bridge.canReadLine(); }, 20000));  // "MQTT at ...": connecting
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    MqttProbe probe(broker.Port());
    ASSERT_TRUE(WaitFor([&] { return probe.Last(kPrefix + "status") == "online"; }, 20000));
    bridge.kill();
    EXPECT_TRUE(WaitFor([&] { return probe.Last(kPrefix + "status") == "offline"; }));
}
