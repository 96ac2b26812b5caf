// OSC against the bridge with real UDP packets from liblo, the core on the
// simulated KESTRA.
#include "BridgeFixture.h"
#include "ShowControl.h"
#include "WaitFor.h"

#include <QSignalSpy>

#include <lo/lo.h>

#include <gtest/gtest.h>

namespace {

// A show-control surface: sends from its own port and keeps the last
// (first) argument heard on each address, as text.
class OscClient {
public:
    explicit OscClient(quint16 bridgePort) : bridge_(lo_address_new("127.0.0.1", std::to_string(bridgePort).c_str()))
    {
        lo_server_add_method(server_, nullptr, nullptr, &OscClient::Heard, this);
    }
    ~OscClient()
    {
        lo_address_free(bridge_);
        lo_server_free(server_);
    }
    // liblo's own varargs form: Send("/kestra/mic/3/gain", "f", -12.0).
    template <class... Values>
    void Send(const char* path, const char* types = "", Values... values)
    {
        lo_send_from(bridge_, server_, LO_TT_IMMEDIATE, path, types, values...);
    }
    bool WaitHeard(const char* path, const QString& value)
    {
        return WaitFor([&] {
            while (lo_server_recv_noblock(server_, 0) > 0) {
            }
            return heard_[QString::fromLatin1(path)] == value;
        });
    }

private:
    static int Heard(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self)
    {
        QString& v = static_cast<OscClient*>(self)->heard_[QString::fromUtf8(path)];
        v = argc < 1 ? QString() : types[0] == 's' ? QString::fromUtf8(&argv[0]->s)
                                 : QString::number(static_cast<double>(lo_hires_val(static_cast<lo_type>(types[0]), argv[0])));
        return 0;
    }

    lo_server server_ = lo_server_new(nullptr, nullptr);
    lo_address bridge_;
    std::map<QString, QString> heard_;
};

class OscBridgeTest : public BridgeFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartBridge());
        show = std::make_unique<ShowControl>(*core_, false);
        QString error;
        ASSERT_TRUE(show->StartOsc(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    }
    sim::Settings Live() const { return sim_->State().live; }
    std::unique_ptr<ShowControl> show;
};

}  // namespace

// Bad messages first (each rule: OscAddressTable): nothing of them reaches
// the device and a line says why; the good ones are the only changes.
TEST_F(OscBridgeTest, ChangesQueriesSubscriptionsAndBadInput)
{
    QSignalSpy rejected(show->Osc(), &OscBridge::rejected);
    sim::Settings expected = Live();
    OscClient client(show->Osc()->Port());
    client.Send("/kestra/subscribe");
    ASSERT_TRUE(client.WaitHeard("/kestra/ducking/threshold", QString::number(expected.threshold)));
    client.Send("/kestra/mic/9/gain", "f", -10.0);
    QUdpSocket raw;
    raw.writeDatagram(QByteArray("\x00garbage", 9), QHostAddress::LocalHost, show->Osc()->Port());
    raw.writeDatagram(QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 17), QHostAddress::LocalHost, show->Osc()->Port());
    client.Send("/kestra/mic/3/gain", "f", -12.0);
    EXPECT_TRUE(client.WaitHeard("/kestra/mic/3/gain", "-12"));  // the change, to the subscriber
    expected.micGain[2] = 24;
    EXPECT_EQ(Live(), expected);
    EXPECT_EQ(rejected.size(), 3);
    EXPECT_TRUE(rejected.at(0).at(0).toString().contains(QLatin1String("/kestra/mic/9/gain: unknown address")));
    OscClient other(show->Osc()->Port());
    other.Send("/kestra/line/source");
    EXPECT_TRUE(other.WaitHeard("/kestra/line/source", "tuner"));
}

TEST_F(OscBridgeTest, SubscriptionEndsWithoutRenewalAndReadOnlyRefuses)
{
    OscBridge osc(CallsOf(*core_, true), 200);
    QString error;
    ASSERT_TRUE(osc.Listen(QHostAddress::LocalHost, 0, &error));
    OscClient client(osc.Port());
    client.Send("/kestra/subscribe");
    ASSERT_TRUE(WaitFor([&] { return osc.Subscribers() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return osc.Subscribers() == 0; }, 3000));
    QSignalSpy rejected(&osc, &OscBridge::rejected);
    client.Send("/kestra/mic/2/mute", "i", 1);
    ASSERT_TRUE(WaitFor([&] { return rejected.size() == 1; }));
    EXPECT_TRUE(rejected.at(0).at(0).toString().contains(QLatin1String("read-only")));
}
