// OSC against the bridge with real UDP packets from liblo, the core on the
// simulated KESTRA.
#include "OscWire.h"
#include "ShowControl.h"
#include "SimCore.h"
#include "WaitFor.h"

#include <QSignalSpy>

#include <lo/lo.h>

#include <gtest/gtest.h>

namespace {

// A show-control client: sends from its own port and keeps what comes back.
class OscClient {
public:
    explicit OscClient(quint16 bridgePort)
        : server_(lo_server_new(nullptr, nullptr)), bridge_(lo_address_new("127.0.0.1", std::to_string(bridgePort).c_str()))
    {
        lo_server_add_method(server_, nullptr, nullptr, &OscClient::Heard, this);
    }
    ~OscClient()
    {
        lo_address_free(bridge_);
        lo_server_free(server_);
    }
    void Send(const char* path, const std::vector<OscArg>& args = {})
    {
        lo_message m = lo_message_new();
        for (const OscArg& a : args) {
            switch (a.type) {
            case 'i': lo_message_add_int32(m, static_cast<int32_t>(a.number)); break;
            case 'h': lo_message_add_int64(m, static_cast<int64_t>(a.number)); break;
            case 'f': lo_message_add_float(m, static_cast<float>(a.number)); break;
            case 'd': lo_message_add_double(m, a.number); break;
            case 's': lo_message_add_string(m, a.text.toUtf8().constData()); break;
            case 'T': lo_message_add_true(m); break;
            case 'F': lo_message_add_false(m); break;
            case 'c': lo_message_add_char(m, 'x'); break;
            default: lo_message_add_nil(m); break;
            }
        }
        lo_send_message_from(bridge_, server_, path, m);
        lo_message_free(m);
    }
    // The last argument heard on `path`, once it satisfies `want`.
    bool WaitHeard(const QString& path, const std::function<bool(const OscArg&)>& want)
    {
        return WaitFor([&] {
            while (lo_server_recv_noblock(server_, 0) > 0) {
            }
            auto it = heard_.find(path);
            return it != heard_.end() && want(it->second);
        });
    }
    void Forget() { heard_.clear(); }

private:
    static int Heard(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self)
    {
        OscArg a;
        if (argc == 1) {
            a.type = types[0];
            if (types[0] == 's') {
                a.text = QString::fromUtf8(&argv[0]->s);
            } else if (types[0] != 'N') {
                a.number = static_cast<double>(lo_hires_val(static_cast<lo_type>(types[0]), argv[0]));
            }
        }
        static_cast<OscClient*>(self)->heard_[QString::fromUtf8(path)] = a;
        return 0;
    }
    lo_server server_;
    lo_address bridge_;
    std::map<QString, OscArg> heard_;
};

class OscBridgeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.core->lastError().toStdString();
        show = std::make_unique<ShowControl>(*sim.core, false);
        QString error;
        ASSERT_TRUE(show->StartOsc(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
        client = std::make_unique<OscClient>(show->Osc()->Port());
    }
    SimCore sim;
    std::unique_ptr<ShowControl> show;
    std::unique_ptr<OscClient> client;
};

}  // namespace

TEST_F(OscBridgeTest, ChangesQueriesAndSubscriptions)
{
    client->Send("/kestra/subscribe");
    ASSERT_TRUE(client->WaitHeard("/kestra/ducking/threshold", [&](const OscArg& a) { return a.number == sim.Live().threshold; }));

    client->Send("/kestra/mic/3/gain", {{'f', -12.0, {}}});
    ASSERT_TRUE(WaitFor([&] { return sim.Live().micGain[2] == 24; }));
    EXPECT_TRUE(client->WaitHeard("/kestra/mic/3/gain", [](const OscArg& a) { return a.type == 'f' && a.number == -12.0; }));

    client->Send("/kestra/line/source", {{'s', 0, QStringLiteral("aux")}});
    ASSERT_TRUE(WaitFor([&] { return sim.Live().lineSource == 4; }));
    client->Forget();
    client->Send("/kestra/line/source");
    EXPECT_TRUE(client->WaitHeard("/kestra/line/source", [](const OscArg& a) { return a.text == QLatin1String("aux"); }));
}

// Whatever is wrong, nothing reaches the device and a line says why; the
// good message after them is the only change.
TEST_F(OscBridgeTest, BadInputChangesNothing)
{
    QSignalSpy rejected(show->Osc(), &OscBridge::rejected);
    const sim::Settings before = sim.Live();
    const struct {
        const char* path;
        std::vector<OscArg> args;
    } bad[] = {
        {"/kestra/mic/9/gain", {{'f', -10, {}}}},
        {"/kestra/mic/1/gain", {{'f', 6, {}}}},
        {"/kestra/mic/1/gain", {{'s', 0, QStringLiteral("loud")}}},
        {"/kestra/mic/1/position", {{'i', 120, {}}}},
        {"/kestra/mic/1/mute", {{'c', 0, {}}}},
        {"/kestra/mic/1/mute", {{'i', 1, {}}, {'i', 0, {}}}},
        {"/kestra/line/source", {{'h', 9, {}}}},
        {"/kestra/ducking/fade_in", {{'d', 64, {}}}},
        {"/kestra/ducking/active", {{'T', 0, {}}}},
        {"/kestra/preset/save", {{'i', 0, {}}}},
        {"/kestra/preset/load", {}},
    };
    for (const auto& b : bad) {
        client->Send(b.path, b.args);
    }
    QUdpSocket raw;
    raw.writeDatagram(QByteArray("\x00garbage", 9), QHostAddress::LocalHost, show->Osc()->Port());
    raw.writeDatagram(QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 17), QHostAddress::LocalHost, show->Osc()->Port());
    client->Send("/kestra/mic/1/mute", {{'T', 0, {}}});
    ASSERT_TRUE(WaitFor([&] { return sim.Live().micMute[0]; }));
    sim::Settings expected = before;
    expected.micMute[0] = true;
    EXPECT_EQ(sim.Live(), expected);
    EXPECT_TRUE(WaitFor([&] { return rejected.size() == static_cast<qsizetype>(std::size(bad)) + 2; })) << rejected.size();
    EXPECT_TRUE(rejected.at(0).at(0).toString().contains(QLatin1String("/kestra/mic/9/gain: unknown address")));
}

TEST_F(OscBridgeTest, SubscriptionEndsWithoutRenewal)
{
    OscBridge osc(CallsOf(*sim.core, true), 200);
    QString error;
    ASSERT_TRUE(osc.Listen(QHostAddress::LocalHost, 0, &error));
    OscClient subscriber(osc.Port());
    subscriber.Send("/kestra/subscribe");
    ASSERT_TRUE(WaitFor([&] { return osc.Subscribers() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return osc.Subscribers() == 0; }, 3000));
    // Read-only: refused with a line, nothing sent.
    QSignalSpy rejected(&osc, &OscBridge::rejected);
    subscriber.Send("/kestra/mic/2/mute", {{'i', 1, {}}});
    ASSERT_TRUE(WaitFor([&] { return rejected.size() == 1; }));
    EXPECT_TRUE(rejected.at(0).at(0).toString().contains(QLatin1String("read-only")));
}
