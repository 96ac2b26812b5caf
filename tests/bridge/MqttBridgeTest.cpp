// MQTT against a real mosquitto broker on a local port, the core on the
// simulated KESTRA: retained state and leaves, set topics, status, broker
// restarts and a device that goes away.
#include "MosquittoBroker.h"
#include "ShowControl.h"
#include "SimCore.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

const QString kPrefix = QStringLiteral("building/floor2/room12/kestra");

QString Topic(const char* sub) { return kPrefix + QLatin1Char('/') + QLatin1String(sub); }

class MqttBridgeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
        ASSERT_TRUE(sim.Start()) << sim.core->lastError().toStdString();
        show = std::make_unique<ShowControl>(*sim.core, false);
        MqttOptions options;
        options.port = broker.Port();
        options.prefix = kPrefix;
        QString error;
        ASSERT_TRUE(show->StartMqtt(options, &error)) << error.toStdString();
        probe = std::make_unique<MqttProbe>(broker.Port());
        ASSERT_TRUE(WaitFor([&] { return probe->Last(Topic("status")) == "online"; }, 10000));
    }
    QJsonObject RetainedState() const { return QJsonDocument::fromJson(probe->Last(Topic("state"))).object(); }

    MosquittoBroker broker;
    SimCore sim;
    std::unique_ptr<ShowControl> show;
    std::unique_ptr<MqttProbe> probe;
};

}  // namespace

TEST_F(MqttBridgeTest, PublishesStateAndTakesChanges)
{
    ASSERT_TRUE(WaitFor([&] { return RetainedState() == sim.core->state(); }));
    EXPECT_EQ(probe->Last(Topic("state/line_source")), sim.core->state().value(QLatin1String("line_source")).toString().toUtf8());

    probe->Publish(Topic("set/channels/mic3/mute"), "true");
    probe->Publish(Topic("set"), R"({"ducking":{"threshold":40},"line_source":"tape"})");
    ASSERT_TRUE(WaitFor([&] { return sim.Live().micMute[2] && sim.Live().threshold == 40 && sim.Live().lineSource == 2; }));
    EXPECT_TRUE(WaitFor([&] {
        return probe->Last(Topic("state/channels/mic3/mute")) == "true" && probe->Last(Topic("state/ducking/threshold")) == "40" &&
               RetainedState() == sim.core->state();
    }));
}

TEST_F(MqttBridgeTest, BadInputChangesNothing)
{
    QSignalSpy rejected(show->Mqtt(), &MqttBridge::rejected);
    const sim::Settings before = sim.Live();
    const std::pair<const char*, QByteArray> bad[] = {
        {"set", "not json"},
        {"set", R"({"channels":{"mic3":{"gain_db":5}}})"},
        {"set", R"({"ducking":{"active":true}})"},
        {"set", R"({"format":"kestra-state"})"},
        {"set/channels/mic7/mute", "true"},
        {"set/channels/mic3/mute", "maybe"},
        {"set/ducking/hold_time", "0"},
        {"set/line_source", "7"},
    };
    for (const auto& [topic, payload] : bad) {
        probe->Publish(Topic(topic), payload);
    }
    probe->Publish(Topic("set/channels/mic2/priority"), "true");
    ASSERT_TRUE(WaitFor([&] { return sim.Live().priority[1]; }));
    sim::Settings expected = before;
    expected.priority[1] = true;
    EXPECT_EQ(sim.Live(), expected);
    EXPECT_TRUE(WaitFor([&] { return rejected.size() == static_cast<qsizetype>(std::size(bad)); })) << rejected.size();
}

// The broker forgets everything (no persistence); the bridge reconnects and
// publishes it all again. A device that goes away shows as "offline".
TEST_F(MqttBridgeTest, SurvivesBrokerRestartAndDeviceLoss)
{
    broker.Kill();
    ASSERT_TRUE(WaitFor([&] { return !show->Mqtt()->Connected(); }));
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    probe = std::make_unique<MqttProbe>(broker.Port());
    EXPECT_TRUE(WaitFor([&] { return RetainedState() == sim.core->state() && probe->Last(Topic("status")) == "online"; }, 15000));

    sim.device.Vanish();
    EXPECT_TRUE(WaitFor([&] { return probe->Last(Topic("status")) == "offline"; }, 15000));
    sim.device.Reappear();
    EXPECT_TRUE(WaitFor([&] { return probe->Last(Topic("status")) == "online"; }, 15000));
}

// A bridge started before its broker connects once the broker is up, and
// killed without a word it leaves its last will: "offline".
TEST(MqttLastWill, LateBrokerAndTheBridgeDying)
{
    MosquittoBroker broker;
    ASSERT_NE(broker.PickPort(), 0);
    QTcpServer free;
    ASSERT_TRUE(free.listen(QHostAddress::LocalHost, 0));
    const QString listen = QStringLiteral("127.0.0.1:%1").arg(free.serverPort());
    free.close();
    QProcess bridge;
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(KESTRACTL_PROGRAM),
                 {"--demo", "serve", "--listen", listen, "--mqtt", QStringLiteral("127.0.0.1:%1").arg(broker.Port()),
                  "--mqtt-topic", kPrefix});
    ASSERT_TRUE(WaitFor([&] { return bridge.canReadLine(); }, 20000));  // "OSC ...", "MQTT at ...": started
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    MqttProbe probe(broker.Port());
    ASSERT_TRUE(WaitFor([&] { return probe.Last(Topic("status")) == "online"; }, 20000));
    bridge.kill();
    bridge.waitForFinished(5000);
    EXPECT_TRUE(WaitFor([&] { return probe.Last(Topic("status")) == "offline"; }));
}
