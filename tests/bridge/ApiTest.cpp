// The HTTP and WebSocket API against the simulated device: what each request
// sends to the device, what is refused before anything is sent, who may do
// what, many hands at once on the one line; merge patches themselves. (A line
// that fails and comes back: the metrics' test.)
#include "BridgeFixture.h"
#include "Choices.h"
#include "DeviceConversation.h"
#include "FreePort.h"
#include "KestraSim.h"
#include "LiveClient.h"
#include "MergePatch.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <numeric>

namespace {
using Strings = std::vector<std::string>;

QJsonObject Json(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

class Api : public BridgeFixture {};
}  // namespace

TEST_F(Api, EachFieldOfAPatchSendsItsFrameAndAnswersTheConfirmedState)
{
    StartBridge();
    const struct {
        const char* patch;
        Strings frames;
    } cases[] = {
        {R"({"channels":{"mic3":{"gain_db":-12}}})", {"A3 18 12"}},
        {R"({"channels":{"line":{"position":40,"mute":true}}})", {"A2 28 00", "AE 01 00"}},
        {R"({"channels":{"mic1":{"priority":true},"sub_left":{"position":79}}})", {"A2 4F 01", "A9 01 10"}},
        {R"({"ganged":{"master":true},"line_source":"cd"})", {"A1 03", "AA 01 02"}},
        {R"({"ducking":{"manual":true,"threshold":30,"attenuation":30,"fade_in":7}})", {"A8 02", "B2 1E", "B3 1E", "B6 07"}},
        {R"({"switch_on":"preset2"})", {"B7 02"}},
        {R"({"channels":{"mic3":{"gain_db":-12}}})", {}},  // already so: nothing to send
    };
    for (const auto& c : cases) {
        sim_->ClearReceived();
        const QByteArray body(c.patch);
        const Answer a = Http("PATCH", QStringLiteral("/api/state"), body);
        EXPECT_EQ(a.status, 200) << c.patch << a.body.constData();
        EXPECT_EQ(Commands(), c.frames) << c.patch;
        // The answer is the device's state, which now holds the patch.
        EXPECT_EQ(mergepatch::Apply(a.json, Json(body)), a.json) << c.patch;
        EXPECT_EQ(a.json, WithoutNulls(core_->State()));
    }
}

TEST_F(Api, TokenPrivateAndReadOnlyRules)
{
    struct Case {
        AccessRules rules;
        const char* method;
        const char* path;  // may carry ?token=
        QByteArray bearer;
        int status;
    } const cases[] = {
        {{"s3cret", false, false}, "GET", "/api/state", {}, 200},
        {{"s3cret", false, false}, "PATCH", "/api/state", {}, 401},
        {{"s3cret", false, false}, "PATCH", "/api/state", "wrong", 401},
        {{"s3cret", false, false}, "PATCH", "/api/state", "s3cret", 200},
        {{"s3cret", false, false}, "PATCH", "/api/state?token=s3cre", {}, 401},
        {{"s3cret", false, false}, "PATCH", "/api/state?token=s3cret", {}, 200},
        {{"s3cret", false, false}, "POST", "/api/presets/1/save", {}, 401},
        {{"s3cret", true, false}, "GET", "/api/state", {}, 401},
        {{"s3cret", true, false}, "GET", "/api/state?token=s3cret", {}, 200},
        {{"s3cret", true, false}, "GET", "/api/health", {}, 401},
        {{"s3cret", true, false}, "GET", "/metrics", {}, 401},
        {{"s3cret", false, false}, "GET", "/metrics", {}, 200},
        {{"s3cret", false, true}, "PATCH", "/api/state", "s3cret", 403},
        {{"", false, true}, "POST", "/api/presets/1/load", {}, 403},
    };
    for (const Case& c : cases) {
        StartBridge(c.rules);
        sim_->ClearReceived();
        const bool change = QByteArray(c.method) != "GET";
        const Answer a = Http(c.method, QString::fromLatin1(c.path), change ? R"({"line_source":"aux"})" : QByteArray(), c.bearer);
        EXPECT_EQ(a.status, c.status) << c.method << ' ' << c.path << " token " << c.bearer.constData();
        // A wrong token is told apart from none.
        EXPECT_TRUE(c.status != 401 || a.body.contains(c.bearer.isEmpty() && !QByteArray(c.path).contains("token=") ? "a token is needed" : "wrong token")) << c.path;
        EXPECT_TRUE(c.status == 200 || Commands().empty()) << c.path << ": a refused request sends nothing";
    }
    // A page from another site may not work the mixer through the browser
    // (nor open the live stream: the guard's table of requests).
    StartBridge();
    EXPECT_EQ(Http("POST", "/api/presets/1/load", {}, {}, "http://evil.example").status, 403);
    EXPECT_EQ(Http("POST", "/api/presets/1/load", {}, {}, BaseUrl().toUtf8()).status, 200);
}

// Many hands at once: a drag of 50 steps with another control's change in
// its middle, a live client's change and the device's own report. The line
// takes only what it can, no other change is lost, every caller is answered,
// and every live client sees what the device confirmed.
TEST_F(Api, ManyHandsLoseNoChangeAndEveryLiveClientSeesTheConfirmedState)
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
    EXPECT_EQ(Commands(), Strings{});

    int answered = 0;
    QJsonObject lastState;
    auto done = [&](int status, QString error, QJsonObject state) {
        EXPECT_EQ(status, 200) << error.toStdString();
        ++answered;
        lastState = state;
    };
    for (int p = 0; p < 50; ++p) {
        core_->ApplyPatch(QJsonObject{{"channels", QJsonObject{{"mic1", QJsonObject{{"position", p}}}}}}, done);
        if (p == 10) {
            core_->ApplyPatch(Json(R"({"channels":{"mic2":{"mute":true}}})"), done);
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
    Strings gains;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(gains), [](const std::string& f) { return f.rfind("A3", 0) == 0; });
    ASSERT_FALSE(gains.empty());
    EXPECT_LT(gains.size(), 10u);
    EXPECT_EQ(gains.back(), "A3 31 10");
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "AE 01 11"), 1);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "AE 01 14"), 1);
    EXPECT_EQ(sim_->State().live.micGain[0], 49);
}

// Patches asked while others wait, each answered with what the device then
// holds: a change after a load goes out after it, a change equal to the live
// value behind a load is judged after the load, and equal changes share the
// device's answer, a refusal included.
TEST_F(Api, PatchesBehindALoadOrAnEqualChangeGetTheDevicesAnswer)
{
    StartBridge();
    constexpr int kLoad = -1;  // a step that loads preset 1 (microphone 3 at 40 there)
    const struct {
        const char* name;
        std::vector<int> steps;  // microphone 3 positions asked, or kLoad
        sim::Fault fault;
        bool ok;       // what every caller is told
        int position;  // the device's microphone 3 at the end (20 live at the start)
        const char* answers = "own";  // how the device chooses its replies
    } cases[] = {
        {"a change after a load", {10, 15, kLoad, 30}, {}, true, 30},
        {"equal to the live value behind a load", {kLoad, 20}, {}, true, 20},
        {"equal changes, refused", {10, 30, 30}, {sim::FaultKind::Nak, 0, -1}, false, 20},
        {"settings acknowledged, read back", {10, kLoad, 30}, {}, true, 30, "settings-acked"},
        {"busy now and then", {10, 15, kLoad, 30}, {}, true, 30, "busy=2"},
        {"acknowledged and never shown", {10, 35}, {}, true, 35, "settings-acked,rotated=3"},
        {"polls answered by any report", {kLoad, 25}, {}, true, 25, "polls-any-report,held-reply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::DeviceState start = sim_->State();
        start.live.micGain[2] = 20;
        start.presets[0].micGain[2] = 40;
        sim_->SetState(start);
        ASSERT_TRUE(WaitFor([&] { return core_->Conversation().Idle(); }));
        sim_->SetFault(c.fault);
        sim_->SetChoices(*sim::Choices::Parse(c.answers));
        int answered = 0;
        for (int step : c.steps) {
            auto done = [&, step](int status, QString error, QJsonObject state) {
                EXPECT_EQ(BridgeCalls::Succeeded(status), c.ok) << error.toStdString();
                if (status == 200 && step != kLoad) {
                    EXPECT_EQ(state.value("channels")["mic3"]["position"].toInt(), step) << "the answer holds the value";
                }
                ++answered;
            };
            if (step == kLoad) {
                core_->LoadPreset(1, done);
            } else {
                core_->ApplyPatch(QJsonObject{{"channels", QJsonObject{{"mic3", QJsonObject{{"position", step}}}}}}, done);
            }
        }
        ASSERT_TRUE(WaitFor([&] { return answered == static_cast<int>(c.steps.size()); }, 10000));
        sim_->SetFault({});
        sim_->SetChoices({});
        EXPECT_EQ(sim_->State().live.micGain[2], c.position);
        // Served is what the device holds, once it is known again.
        ASSERT_TRUE(WaitFor([&] { return core_->Conversation().Idle() && core_->Conversation().State().AllKnown(); }));
        EXPECT_EQ(Http("GET", "/api/state").status, 200);
    }
}

// A client that applies each live message as any RFC 7386 implementation
// does holds the server's document, the mute position included.
TEST_F(Api, TheLiveStreamLeadsToTheServersDocument)
{
    StartBridge();
    LiveClient live(BaseUrl("ws") + "/api/live");
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic3":{"position":79},"mic4":{"position":79}}})").status, 200);
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic4":{"gain_db":-12}}})").status, 200);
    const QJsonObject served = Http("GET", "/api/state").json;
    EXPECT_TRUE(WaitFor([&] {
        QJsonObject held = std::accumulate(live.messages.begin() + 1, live.messages.end(), live.messages.front(), mergepatch::Apply);
        held.remove("levels");
        held.remove("online");
        return held == served;
    }));
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

// A device that is not there when serve starts: clients are answered
// "offline" (not refused), and the device is read once it appears.
TEST(ServeProcess, AnswersOfflineUntilTheDeviceIsThere)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("kestra");
    const quint16 port = FreePort();
    QProcess serve;
    serve.start(QStringLiteral(KESTRACTL_PROGRAM), {"--port", link, "serve", "--listen", QStringLiteral("127.0.0.1:%1").arg(port)});
    QNetworkAccessManager net;
    int status = 0;
    auto get = [&](const char* path) {
        QNetworkReply* r = net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))));
        WaitFor([r] { return r->isFinished(); });
        status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject o = QJsonDocument::fromJson(r->readAll()).object();
        r->deleteLater();
        return o;
    };
    auto health = [&] { return get("/api/health"); };
    // It listens at once, not after giving up on a first read.
    ASSERT_TRUE(WaitFor([&] { return health().contains("online"); }, 5000)) << "served while the device is missing";
    EXPECT_FALSE(health().value("online").toBool());
    EXPECT_TRUE(health().contains("reason"));
    // No state was read: none is given, not an empty one.
    EXPECT_TRUE(get("/api/state").value("error").toString().contains("offline"));
    EXPECT_EQ(status, 503);
    sim::SimOptions options;
    options.linkPath = link.toStdString();
    sim::KestraSim device(options);
    ASSERT_FALSE(device.Start().empty());
    EXPECT_TRUE(WaitFor([&] { return health().value("online").toBool(); }, 20000));
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
}

// The server owns the connections handed to it: gone while the device still
// owes an answer, it frees them (LeakSanitizer would say otherwise), and the
// answer that comes later writes to none of them (AddressSanitizer).
TEST_F(Api, AServerGoneWhileAnswersAreOwedFreesItsConnectionsAndAnswersNothingLater)
{
    StartBridge();
    sim_->SetFault({sim::FaultKind::Silence});
    sim_->ClearReceived();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server_->Port());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(Request("PATCH /api/state", R"({"channels":{"mic3":{"gain_db":-12}}})"));
    LiveClient live(BaseUrl("ws") + "/api/live");
    ASSERT_TRUE(WaitFor([&] { return !Commands().empty(); })) << "the change went out and waits for its answer";
    ASSERT_EQ(server_->Connections(), 2);

    server_.reset();
    EXPECT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(WaitFor([&] { return live.socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(client.readAll(), QByteArray()) << "nothing was answered for the server that is gone";
    core_.reset();  // the waiting change fails now, with nobody left to tell
}
