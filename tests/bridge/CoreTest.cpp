// The bridge core and its live clients: merging of many hands' changes, the
// WebSocket fan-out; merge patches themselves. (A line that fails and
// returns: ShowControlTest, which watches every side of it.)
#include "BridgeFixture.h"
#include "MergePatch.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QWebSocket>

namespace {
QJsonObject Json(const char* text)
{
    return QJsonDocument::fromJson(text).object();
}

// A WebSocket client of /api/live that keeps every message.
struct LiveClient {
    QWebSocket socket;
    std::vector<QJsonObject> messages;
    explicit LiveClient(const QString& url)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString& m) { messages.push_back(QJsonDocument::fromJson(m.toUtf8()).object()); });
        socket.open(QUrl(url));
        EXPECT_TRUE(WaitFor([this] { return !messages.empty(); })) << url.toStdString();
    }
    bool Saw(const std::function<bool(const QJsonObject&)>& match)
    {
        return WaitFor([&] { return std::any_of(messages.begin(), messages.end(), match); });
    }
};

class Core : public BridgeFixture {};
}  // namespace

// Many hands at once: a drag of 50 steps with another control's change in
// its middle, a live client's change and the device's own report. The line
// takes only what it can, no other change is lost, every caller is answered,
// and every live client sees what the device confirmed.
TEST_F(Core, ManyHandsLoseNoChangeAndEveryLiveClientSeesTheConfirmedState)
{
    sim::SimOptions wire;
    wire.wireSpeed = true;  // a hand outruns 9600 baud
    StartBridge(AccessRules{"s3cret", false, false}, wire);
    LiveClient writer(BaseUrl("ws") + "/api/live?token=s3cret");
    LiveClient reader(BaseUrl("ws") + "/api/live");
    for (LiveClient* c : {&writer, &reader}) {
        const QJsonObject& first = c->messages.front();
        EXPECT_EQ(first.value("format").toString(), "kestra-state");
        EXPECT_TRUE(first.value("online").toBool());
        EXPECT_EQ(first.value("levels")["line"]["text"].toString(), "-5dB");
    }
    sim_->ClearReceived();
    reader.socket.sendTextMessage(R"({"channels":{"mic5":{"mute":true}}})");
    EXPECT_TRUE(reader.Saw([](const QJsonObject& m) { return m.value("status").toInt() == 401; }));
    EXPECT_EQ(Commands(), std::vector<std::string>{});

    int answered = 0;
    QJsonObject lastState;
    auto done = [&](bool ok, QString error, QJsonObject state) {
        EXPECT_TRUE(ok) << error.toStdString();
        ++answered;
        lastState = state;
    };
    for (int p = 0; p < 50; ++p) {
        core_->applyPatch(QJsonObject{{"channels", QJsonObject{{"mic1", QJsonObject{{"position", p}}}}}}, done);
        if (p == 10) {
            core_->applyPatch(Json(R"({"channels":{"mic2":{"mute":true}}})"), done);
        }
    }
    writer.socket.sendTextMessage(R"({"channels":{"mic5":{"mute":true}}})");
    sim_->SetSpeech(1);  // the device reports ducking by itself
    ASSERT_TRUE(WaitFor([&] { return answered == 51; }, 10000));
    EXPECT_EQ(lastState.value("channels")["mic1"]["position"].toInt(), 49);
    for (LiveClient* c : {&writer, &reader}) {
        EXPECT_TRUE(c->Saw([](const QJsonObject& m) { return m.value("channels")["mic1"]["position"].toInt(-1) == 49; }));
        EXPECT_TRUE(c->Saw([](const QJsonObject& m) { return m.value("channels")["mic5"]["mute"].toBool(); }));
        EXPECT_TRUE(c->Saw([](const QJsonObject& m) { return m.value("ducking")["active"].toBool(); }));
    }
    const auto frames = Commands();
    const auto gains = std::count_if(frames.begin(), frames.end(), [](const std::string& f) { return f.rfind("A3", 0) == 0; });
    EXPECT_LT(gains, 10);
    const auto lastGain = std::find_if(frames.rbegin(), frames.rend(), [](const std::string& f) { return f.rfind("A3", 0) == 0; });
    ASSERT_NE(lastGain, frames.rend());
    EXPECT_EQ(*lastGain, "A3 31 10");
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "AE 01 11"), 1);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "AE 01 14"), 1);
    EXPECT_EQ(sim_->State().live.micGain[0], 49);
}

TEST(MergePatch, AppliesAndDiffsAsRfc7386)
{
    struct Case {
        const char* target;
        const char* patch;
        const char* result;
    } const cases[] = {
        {R"({"a":"b"})", R"({"a":"c","b":"d"})", R"({"a":"c","b":"d"})"},
        {R"({"a":"b","b":"c"})", R"({"a":null})", R"({"b":"c"})"},
        {R"({"a":["b"],"c":1})", R"({"a":"c","c":{"d":2}})", R"({"a":"c","c":{"d":2}})"},
        {R"({"a":{"b":"c"}})", R"({"a":{"b":"d","c":null}})", R"({"a":{"b":"d"}})"},
        {R"({})", R"({"a":{"bb":{"ccc":null}}})", R"({"a":{"bb":{}}})"},
    };
    for (const Case& c : cases) {
        const QJsonObject target = Json(c.target);
        const QJsonObject result = Json(c.result);
        EXPECT_EQ(mergepatch::Apply(target, Json(c.patch)), result) << c.target << " + " << c.patch;
        // A diff leads from one document to the other, and is empty between equals.
        EXPECT_EQ(mergepatch::Apply(result, mergepatch::Diff(result, target)), target) << c.result << " -> " << c.target;
        EXPECT_TRUE(mergepatch::Diff(result, result).isEmpty());
    }
}
