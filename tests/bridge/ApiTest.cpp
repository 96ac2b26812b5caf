// The HTTP API against the simulated device: what each request sends to the
// device, what is refused before anything is sent, and who may do what.
#include "BridgeFixture.h"
#include "StateJson.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QWebSocket>

namespace {
using Strings = std::vector<std::string>;

struct PatchCase {
    const char* patch;
    Strings frames;
};

class Api : public BridgeFixture {};
}  // namespace

TEST_F(Api, EachFieldOfAPatchSendsItsFrameAndAnswersTheConfirmedState)
{
    StartBridge();
    const PatchCase cases[] = {
        {R"({"channels":{"mic3":{"gain_db":-12}}})", {"A3 18 12"}},
        {R"({"channels":{"line":{"position":40,"mute":true}}})", {"A2 28 00", "AE 01 00"}},
        {R"({"channels":{"mic1":{"priority":true},"sub_left":{"gain_db":null}}})", {"A2 4F 01", "A9 01 10"}},
        {R"({"ganged":{"master":true},"line_source":"cd"})", {"A1 03", "AA 01 02"}},
        {R"({"ducking":{"manual":true,"threshold":30,"attenuation":30,"fade_in":7}})", {"A8 02", "B2 1E", "B3 1E", "B6 07"}},
        {R"({"switch_on":"preset2"})", {"B7 02"}},
        {R"({"channels":{"mic3":{"gain_db":-12}}})", {}},  // already so: nothing to send
    };
    for (const PatchCase& c : cases) {
        sim_->ClearReceived();
        const QByteArray body(c.patch);
        const Answer a = Http("PATCH", QStringLiteral("/api/state"), body);
        EXPECT_EQ(a.status, 200) << c.patch << a.body.constData();
        EXPECT_EQ(Commands(), c.frames) << c.patch;
        // The answer is the device's state, which now holds the patch.
        DeviceState got;
        ASSERT_FALSE(MergeStateJson(a.json, got, true));
        DeviceState want = got;
        ASSERT_FALSE(MergeStateJson(QJsonDocument::fromJson(body).object(), want, false));
        EXPECT_EQ(got, want) << c.patch;
        EXPECT_EQ(a.json, core_->state());
    }
}

// Only the embedded files are served; every bad request is refused with
// the field named, and nothing reaches the device.
TEST_F(Api, FilesAndRefusals)
{
    StartBridge();
    struct Case {
        const char* method;
        const char* path;
        QByteArray body;
        int status;
        const char* message;  // in the error, or the body when that is not JSON
    } const cases[] = {
        {"GET", "/", {}, 200, "<html"},
        {"GET", "/app.js", {}, 200, ""},
        {"GET", "/style.css", {}, 200, ""},
        {"GET", "/index.htm", {}, 404, "not found"},
        {"GET", "/%2e%2e/%2e%2e/etc/passwd", {}, 404, "not found"},
        {"GET", "/..%2fCMakeLists.txt", {}, 404, "not found"},
        {"GET", "/web/index.html", {}, 404, "not found"},
        {"PATCH", "/api/state", "{\"channels\":", 400, "body: not JSON"},
        {"PATCH", "/api/state", "[1]", 400, "body: not a JSON object"},
        {"PATCH", "/api/state", R"({"channels":{"mic3":{"mute":"on"}}})", 400, "channels.mic3.mute: \"on\" is not allowed"},
        {"PATCH", "/api/state", R"({"ducking":{"active":false}})", 400, "ducking.active: read-only"},
        {"PATCH", "/api/state", "{\"line_source\":\"cd\"," + QByteArray(70000, ' ') + "}", 400, "body: 70021 bytes"},
        {"POST", "/api/presets/4/load", {}, 400, "preset: \"4\" is not allowed"},
        {"POST", "/api/presets/1/erase", {}, 404, "no such endpoint"},
        {"PUT", "/api/state", "{}", 405, "method not allowed"},
    };
    sim_->ClearReceived();
    for (const Case& c : cases) {
        const Answer a = Http(c.method, QString::fromLatin1(c.path), c.body);
        EXPECT_EQ(a.status, c.status) << c.method << ' ' << c.path << ' ' << c.body.left(60).constData();
        const QString said = a.json.isEmpty() ? QString::fromUtf8(a.body) : a.json.value(QLatin1String("error")).toString();
        EXPECT_TRUE(said.contains(QLatin1String(c.message))) << c.path << ": " << said.left(200).toStdString();
    }
    EXPECT_EQ(Commands(), Strings{});
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
        {{"s3cret", true, false}, "GET", "/api/health", {}, 200},
        {{"s3cret", false, true}, "PATCH", "/api/state", "s3cret", 403},
        {{"", false, true}, "POST", "/api/presets/1/load", {}, 403},
        {{"", false, false}, "PATCH", "/api/state", {}, 200},
    };
    for (const Case& c : cases) {
        StartBridge(c.rules);
        sim_->ClearReceived();
        const bool change = QByteArray(c.method) != "GET";
        const Answer a = Http(c.method, QString::fromLatin1(c.path), change ? R"({"line_source":"aux"})" : QByteArray(), c.bearer);
        EXPECT_EQ(a.status, c.status) << c.method << ' ' << c.path << " token " << c.bearer.constData();
        if (c.status != 200) {
            EXPECT_EQ(Commands(), Strings{}) << c.path;
        }
        server_.reset();
        core_.reset();
    }
    // A page from another site may not work the mixer through the browser.
    StartBridge();
    EXPECT_EQ(Http("POST", "/api/presets/1/load", {}, {}, "http://evil.example").status, 403);
    EXPECT_EQ(Http("POST", "/api/presets/1/load", {}, {}, BaseUrl().toUtf8()).status, 200);
    QWebSocket foreign(QStringLiteral("http://evil.example"));
    foreign.open(QUrl(BaseUrl("ws") + "/api/live"));
    EXPECT_TRUE(WaitFor([&] { return foreign.closeCode() == 4403; }));
}
