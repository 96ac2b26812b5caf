// The OSC address table and the MQTT set topics: what an input becomes (a
// merge patch, a query, a preset) or why it is refused, and that what the
// bridges send out reads back as the same state.
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
    const char* kinds[] = {"", "query ", "load ", "save ", "subscribe"};
    return q.kind == OscRequest::Set ? Text(q.patch)
                                     : kinds[q.kind] + (q.kind == OscRequest::Query ? q.path.join('.').toStdString()
                                                        : q.preset      ? std::to_string(q.preset) : "");
}

// "error: FRAGMENT" matches any error containing FRAGMENT.
void ExpectMatches(const std::string& got, const std::string& want)
{
    const bool error = want.rfind("error: ", 0) == 0;
    EXPECT_TRUE(error ? got.rfind("error: ", 0) == 0 && got.find(want.substr(7)) != std::string::npos : got == want)
        << got << " is not " << want;
}

DeviceState Sample()
{
    DeviceState s;
    for (int i = 0; i < kStateChannels; ++i) {
        s.gain[i] = static_cast<std::uint8_t>((i * 13 + 5) % 80);  // the mute position 79 among them
        s.mute[i] = i % 2 == 1;
    }
    s.priority = {true, false, true, false, false, true};
    s.subGanged = true;
    s.lineSource = 3;
    s.ducking = {40, 12, 77, 3, 60};
    return s;
}
}  // namespace

TEST(OscAddressTable, EachRuleOnce)
{
    const OscArg T{'T', 0, {}}, Nil{'N', 0, {}};
    auto f = [](double v) { return OscArg{'f', v, {}}; };
    auto i = [](double v) { return OscArg{'i', v, {}}; };
    auto s = [](const char* v) { return OscArg{'s', 0, QString::fromLatin1(v)}; };
    const struct {
        const char* address;
        std::vector<OscArg> args;
        std::string want;
    } cases[] = {
        {"/kestra/mic/3/gain", {f(-12.3)}, R"({"channels":{"mic3":{"gain_db":-12.5}}})"},  // nearest level
        {"/kestra/line/gain", {Nil}, R"({"channels":{"line":{"position":79}}})"},
        {"/kestra/mic/3/gain", {f(0.5)}, "error: from -76 to 0"},
        {"/kestra/sub/left/position", {i(80)}, "error: 0..79"},
        {"/kestra/mic/1/position", {f(2.5)}, "error: whole number"},
        {"/kestra/mic/6/priority", {T}, R"({"channels":{"mic6":{"priority":true}}})"},
        {"/kestra/master/right/mute", {f(0)}, R"({"channels":{"master_right":{"mute":false}}})"},
        {"/kestra/mic/6/mute", {i(2)}, "error: 0 or 1"},
        {"/kestra/line/priority", {i(1)}, "error: unknown address"},
        {"/kestra/line/source", {s("cd")}, R"({"line_source":"cd"})"},
        {"/kestra/line/source", {s("radio")}, "error: 0..4"},
        {"/kestra/master/ganged", {i(1)}, R"({"ganged":{"master":true}})"},
        {"/kestra/ducking/active", {i(1)}, "error: read-only"},
        {"/kestra/mic/2/mute", {i(1), i(1)}, "error: one argument"},
        {"/kestra/preset/save", {f(3)}, "save 3"},
        {"/kestra/mic/2/mute", {}, "query channels.mic2.mute"},
        {"/kestra/subscribe", {}, "subscribe"},
    };
    for (const auto& c : cases) {
        ExpectMatches(Describe(ParseOscMessage(QString::fromLatin1(c.address), c.args)), c.want);
    }
}

// Each message a subscriber gets is also the answer to its query, and sent
// back as a change it rebuilds the state.
TEST(OscAddressTable, OutgoingMessagesReadBackAsTheSameState)
{
    const QJsonObject doc = StateToJson(Sample());
    DeviceState rebuilt;
    for (const OscMessage& m : OscMessagesFor(doc)) {
        auto query = ParseOscMessage(m.address, {});
        ASSERT_TRUE(std::holds_alternative<OscRequest>(query)) << m.address.toStdString();
        EXPECT_EQ(OscAnswer(std::get<OscRequest>(query).path, doc), m);
        auto set = ParseOscMessage(m.address, {m.arg});
        if (!m.address.endsWith(QLatin1String("/active"))) {
            ASSERT_FALSE(MergeStateJson(std::get<OscRequest>(set).patch, rebuilt, false)) << m.address.toStdString();
        }
    }
    EXPECT_EQ(rebuilt, Sample());
}

TEST(MqttTopics, EachRuleOnce)
{
    const struct {
        const char* path;
        QByteArray payload;
        std::string want;
    } cases[] = {
        {"", R"({"channels":{"mic3":{"mute":true}}})", R"({"channels":{"mic3":{"mute":true}}})"},
        {"", "[1]", "error: not a JSON object"},
        {"", R"({"format":"kestra-state"})", "error: format: read-only"},
        {"channels/mic3/gain_db", " -12.5 ", R"({"channels":{"mic3":{"gain_db":-12.5}}})"},
        {"line_source", "\"tape\"", R"({"line_source":"tape"})"},
        {"channels/mic3/mute", "true],[false", "error: not one JSON value"},
        {"channels//mute", "true", "error: unknown key"},
        {"", QByteArray(kMaxMqttPayload + 1, ' '), "error: over 64 KiB"},
    };
    for (const auto& c : cases) {
        auto r = ParseMqttSet(QString::fromLatin1(c.path), c.payload);
        auto* e = std::get_if<QString>(&r);
        ExpectMatches(e ? "error: " + e->toStdString() : Text(std::get<QJsonObject>(r)), c.want);
    }
}
