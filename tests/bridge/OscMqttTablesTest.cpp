// The OSC address table and the MQTT set topics: what each input becomes
// (a merge patch, a query, a preset) or why it is refused, and that what the
// bridges send out reads back as the same state.
#include "DeviceState.h"
#include "MqttTopics.h"
#include "OscAddress.h"
#include "StateJson.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::string Text(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

std::string Describe(const std::variant<OscRequest, QString>& r)
{
    if (auto* e = std::get_if<QString>(&r)) {
        return "error: " + e->toStdString();
    }
    const OscRequest& q = std::get<OscRequest>(r);
    switch (q.kind) {
    case OscRequest::Set: return Text(q.patch);
    case OscRequest::Query: return "query " + q.path.join(QLatin1Char('.')).toStdString();
    case OscRequest::LoadPreset: return "load " + std::to_string(q.preset);
    case OscRequest::SavePreset: return "save " + std::to_string(q.preset);
    case OscRequest::Subscribe: return "subscribe";
    }
    return {};
}

// An expectation "error: FRAGMENT" matches any error containing FRAGMENT.
void ExpectMatches(const std::string& got, const std::string& want, const std::string& input)
{
    if (want.rfind("error: ", 0) == 0) {
        EXPECT_EQ(got.rfind("error: ", 0), 0u) << input << " -> " << got;
        EXPECT_NE(got.find(want.substr(7)), std::string::npos) << input << " -> " << got;
    } else {
        EXPECT_EQ(got, want) << input;
    }
}

OscArg F(double v) { return {'f', v, {}}; }
OscArg I(double v) { return {'i', v, {}}; }
OscArg S(const char* s) { return {'s', 0, QString::fromUtf8(s)}; }
const OscArg T{'T', 0, {}}, Nil{'N', 0, {}};

DeviceState Sample()
{
    DeviceState s;
    for (int i = 0; i < kStateChannels; ++i) {
        s.gain[i] = static_cast<std::uint8_t>((i * 13 + 5) % 80);  // includes the mute position 79
        s.mute[i] = i % 2 == 1;
    }
    s.priority = {true, false, true, false, false, true};
    s.subGanged = true;
    s.lineSource = 3;
    s.manualDucking = true;
    s.ducking = {40, 12, 77, 3, 60};
    return s;
}

}  // namespace

TEST(OscAddressTable, EachAddressAndArgument)
{
    const struct {
        const char* address;
        std::vector<OscArg> args;
        std::string want;
    } cases[] = {
        {"/kestra/mic/3/gain", {F(-12.3)}, R"({"channels":{"mic3":{"gain_db":-12.5}}})"},  // nearest level
        {"/kestra/mic/3/gain", {I(-50)}, R"({"channels":{"mic3":{"gain_db":-50}}})"},
        {"/kestra/line/gain", {Nil}, R"({"channels":{"line":{"position":79}}})"},
        {"/kestra/mic/3/gain", {F(0.5)}, "error: from -76 to 0"},
        {"/kestra/mic/3/gain", {F(-77)}, "error: from -76 to 0"},
        {"/kestra/mic/3/gain", {F(NAN)}, "error: from -76 to 0"},
        {"/kestra/mic/3/gain", {S("-12")}, "error: from -76 to 0"},
        {"/kestra/mic/1/position", {I(79)}, R"({"channels":{"mic1":{"position":79}}})"},
        {"/kestra/mic/1/position", {I(80)}, "error: 0..79"},
        {"/kestra/mic/1/position", {F(2.5)}, "error: whole number"},
        {"/kestra/mic/6/priority", {T}, R"({"channels":{"mic6":{"priority":true}}})"},
        {"/kestra/mic/6/mute", {F(0)}, R"({"channels":{"mic6":{"mute":false}}})"},
        {"/kestra/mic/6/mute", {I(2)}, "error: 0 or 1"},
        {"/kestra/master/right/mute", {I(1)}, R"({"channels":{"master_right":{"mute":true}}})"},
        {"/kestra/sub/left/position", {I(10)}, R"({"channels":{"sub_left":{"position":10}}})"},
        {"/kestra/line/priority", {I(1)}, "error: unknown address"},
        {"/kestra/mic/7/gain", {F(-1)}, "error: unknown address"},
        {"/kestra/line/source", {S("cd")}, R"({"line_source":"cd"})"},
        {"/kestra/line/source", {I(0)}, R"({"line_source":"off"})"},
        {"/kestra/line/source", {I(5)}, "error: 0..4"},
        {"/kestra/line/source", {S("radio")}, "error: tuner"},
        {"/kestra/sub/ganged", {I(1)}, R"({"ganged":{"sub":true}})"},
        {"/kestra/ducking/manual", {T}, R"({"ducking":{"manual":true}})"},
        {"/kestra/ducking/threshold", {I(1)}, "error: 2..127"},
        {"/kestra/ducking/hold_time", {I(100)}, R"({"ducking":{"hold_time":100}})"},
        {"/kestra/ducking/active", {I(1)}, "error: read-only"},
        {"/kestra/mic/2/mute", {I(1), I(1)}, "error: one argument"},
        {"/kestra/preset/load", {I(2)}, "load 2"},
        {"/kestra/preset/save", {F(3)}, "save 3"},
        {"/kestra/preset/load", {I(4)}, "error: 1..3"},
        {"/kestra/preset/load", {}, "error: 1..3"},
        {"/kestra/mic/2/mute", {}, "query channels.mic2.mute"},
        {"/kestra/ducking/active", {}, "query ducking.active"},
        {"/kestra/subscribe", {}, "subscribe"},
    };
    for (const auto& c : cases) {
        ExpectMatches(Describe(ParseOscMessage(QString::fromLatin1(c.address), c.args)), c.want, c.address);
    }
}

// Every message a subscriber gets, sent back as a change, rebuilds the state;
// every query is answered with the message a subscriber gets for that value.
TEST(OscAddressTable, OutgoingMessagesReadBackAsTheSameState)
{
    const DeviceState sample = Sample();
    const QJsonObject doc = StateToJson(sample);
    DeviceState rebuilt;
    int messages = 0;
    for (const OscMessage& m : OscMessagesFor(doc)) {
        auto r = ParseOscMessage(m.address, {});
        ASSERT_TRUE(std::holds_alternative<OscRequest>(r)) << m.address.toStdString();
        EXPECT_EQ(OscAnswer(std::get<OscRequest>(r).path, doc), m);
        if (m.address.endsWith(QLatin1String("/active"))) {
            continue;
        }
        auto set = ParseOscMessage(m.address, {m.arg});
        ASSERT_TRUE(std::holds_alternative<OscRequest>(set)) << m.address.toStdString();
        ASSERT_FALSE(MergeStateJson(std::get<OscRequest>(set).patch, rebuilt, false));
        ++messages;
    }
    EXPECT_EQ(messages, 6 * 4 + 5 * 3 + 9);
    rebuilt.switchOn = sample.switchOn;  // no OSC address
    EXPECT_EQ(rebuilt, sample);
}

TEST(MqttTopics, SetTopicsAndPayloads)
{
    const struct {
        const char* path;
        QByteArray payload;
        std::string want;
    } cases[] = {
        {"", R"({"channels":{"mic3":{"mute":true}}})", R"({"channels":{"mic3":{"mute":true}}})"},
        {"", "[1]", "error: not a JSON object"},
        {"", "{\"channels\":", "error: not a JSON object"},
        {"", R"({"channels":{"mic9":{}}})", "error: channels.mic9: unknown key"},
        {"channels/mic3/mute", "true", R"({"channels":{"mic3":{"mute":true}}})"},
        {"channels/mic3/mute", "on", "error: channels.mic3.mute"},
        {"channels/mic3/gain_db", " -12.5 ", R"({"channels":{"mic3":{"gain_db":-12.5}}})"},
        {"channels/mic3/gain_db", "-12.3", "error: gain scale"},
        {"channels/mic3", R"({"position":3})", R"({"channels":{"mic3":{"position":3}}})"},
        {"line_source", "cd", R"({"line_source":"cd"})"},
        {"line_source", "\"tape\"", R"({"line_source":"tape"})"},
        {"line_source", "radio", "error: line_source"},
        {"channels/mic3/mute", "true],[false", "error: not one JSON value"},
        {"channels/mic3/mute", "", "error: not one JSON value"},
        {"channels//mute", "true", "error: unknown key"},
        {"channels/mic3/mute/x", "true", "error: unknown key"},
        {"ducking/threshold", "200", "error: 2..127"},
        {"switch_on", "preset2", R"({"switch_on":"preset2"})"},
        {"", QByteArray(kMaxMqttPayload + 1, ' '), "error: over 64 KiB"},
    };
    for (const auto& c : cases) {
        auto r = ParseMqttSet(QString::fromLatin1(c.path), c.payload);
        const std::string got =
            std::holds_alternative<QString>(r) ? "error: " + std::get<QString>(r).toStdString() : Text(std::get<QJsonObject>(r));
        ExpectMatches(got, c.want, std::string(c.path) + " " + c.payload.left(40).toStdString());
    }
}

TEST(MqttTopics, LeavesReadBackAsTheSameState)
{
    const DeviceState sample = Sample();
    DeviceState rebuilt;
    int leaves = 0;
    for (const MqttLeaf& leaf : MqttLeaves(StateToJson(sample))) {
        ASSERT_FALSE(leaf.path.startsWith(QLatin1String("format")) || leaf.path.startsWith(QLatin1String("version")));
        if (leaf.path.endsWith(QLatin1String("gain_db")) || leaf.path == QLatin1String("ducking/active")) {
            continue;  // position carries the same; active is read-only
        }
        auto r = ParseMqttSet(leaf.path, leaf.payload);
        ASSERT_TRUE(std::holds_alternative<QJsonObject>(r)) << leaf.path.toStdString() << " " << leaf.payload.toStdString();
        ASSERT_FALSE(MergeStateJson(std::get<QJsonObject>(r), rebuilt, false));
        ++leaves;
    }
    EXPECT_EQ(leaves, 6 * 3 + 5 * 2 + 2 + 1 + 6 + 1);
    EXPECT_EQ(rebuilt, sample);
}
