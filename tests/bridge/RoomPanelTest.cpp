// Room panels: the file and where its faults are, and the server's side of
// them against the simulated device: what a panel's token may read and
// change, what is refused before anything is sent, the PIN.
#include "BridgeFixture.h"
#include "LiveClient.h"
#include "PinGuard.h"
#include "RoomPanel.h"

#include <gmock/gmock.h>

#include <QJsonArray>
#include <QSet>

namespace {
using Strings = std::vector<std::string>;

const char* const kHall = R"({"name": "hall", "controls": [
    {"gain": "mic1", "label": "Lectern", "min_db": -40, "max_db": -6},
    {"mute": "mic2", "label": "Radio mic"},
    {"line_source": ["cd", "off"], "label": "Music"},
    {"gain": ["master_left", "master_right"], "label": "Volume", "max_db": -10},
    {"preset": 2, "label": "Concert"},
    {"ducking": "manual", "label": "Speech first"}]})";

// The dotted paths of a document's leaves.
QSet<QString> Leaves(const QJsonObject& o, const QString& prefix = {})
{
    QSet<QString> out;
    for (auto it = o.begin(); it != o.end(); ++it) {
        out += it.value().isObject() ? Leaves(it.value().toObject(), prefix + it.key() + '.') : QSet<QString>{prefix + it.key()};
    }
    return out;
}

class Room : public BridgeFixture {
protected:
    void StartRoom(const QString& pin = {})
    {
        RoomPanel panel;
        ASSERT_EQ(ParseRoomPanel(kHall, {}, panel), std::nullopt);
        panel.pin = pin;
        panel.token = QStringLiteral("room-token");
        ServeOptions serve;
        serve.panels = {panel};
        StartBridge({"s3cret", false, false}, {}, serve);
        sim_->ClearReceived();
    }
};
}  // namespace

TEST(RoomPanelFile, EachFaultIsRefusedWithItsLineColumnAndReason)
{
    const struct { const char* text; const char* error; } cases[] = {
        {"{\"controls\": [\n  {\"gain\": \"mic1\",", "line 2, column 19: not JSON: unterminated object"},
        {"{\"titel\": \"x\", \"controls\": []}", "line 1, column 2: titel: unknown key (allowed: format,"},
        {"{\"controls\": [\n  {\"gain\": \"mic1\",\n   \"lable\": \"x\"}]}", "line 3, column 4: controls.0.lable: unknown key"},
        {"{\"controls\": []}", "line 1, column 2: controls: a list of 1 to 24"},
        {"{\"controls\": [{\"gain\": \"mic1\", \"label\": \"a\", \"min_db\": -3.3}]}",
         "line 1, column 46: controls.0.min_db: -3.3 is not a level of the gain scale; the nearest are -3 and -3.5"},
        {"{\"controls\": [{\"gain\": \"mic1\", \"label\": \"a\", \"min_db\": -6, \"max_db\": -12}]}", "controls.0.min_db: -6dB is above max_db (-12dB)"},
        {"{\"controls\": [{\"gain\": \"mic1\", \"label\": \"a\", \"max_db\": null}]}", "controls.0.max_db: the highest level allowed"},
        {"{\"controls\": [{\"gain\": \"master_left\", \"label\": \"a\"}]}",
         "line 1, column 16: controls.0.gain: name both master_left and master_right"},
        {"{\"controls\": [{\"gain\": [\"mic1\", \"mic9\"], \"label\": \"a\"}]}", "line 1, column 33: controls.0.gain.1: not a channel"},
        {"{\"controls\": [{\"gain\": \"mic1\", \"mute\": \"mic1\", \"label\": \"a\"}]}", "controls.0: a control names exactly one of"},
        {"{\"controls\": [{\"mute\": \"mic1\", \"label\": \"a\"}, {\"mute\": \"mic1\", \"label\": \"b\"}]}",
         "line 1, column 47: controls.1: channels.mic1.mute is on this panel already"},
        {"{\"controls\": [{\"mute\": \"mic1\"}]}", "controls.0.label: a text of 1 to 40"},
        {"{\"controls\": [{\"line_source\": [\"cd\", \"radio\"], \"label\": \"a\"}]}", "controls.0.line_source.1: not a source"},
        {"{\"controls\": [{\"preset\": 4, \"label\": \"a\"}]}", "controls.0.preset: the preset this button loads: 1, 2 or 3"},
        {"{\"controls\": [{\"ducking\": \"threshold\", \"label\": \"a\"}]}", "controls.0.ducking: \"manual\""},
        {"{\"pin\": \"12\", \"controls\": [{\"preset\": 1, \"label\": \"a\"}]}", "line 1, column 2: pin: 4 to 8 digits"},
        {"{\"name\": \"Hall 1\", \"controls\": [{\"preset\": 1, \"label\": \"a\"}]}", "name: \"Hall 1\": the name in the address"},
        {"{\"colour\": \"blue\", \"controls\": [{\"preset\": 1, \"label\": \"a\"}]}", "colour: a colour as \"#RRGGBB\""},
        {"{\"format\": \"kestra-state\", \"controls\": []}", "format: not a room panel"},
    };
    for (const auto& c : cases) {
        RoomPanel panel;
        panel.name = QStringLiteral("kept");
        const auto e = ParseRoomPanel(c.text, QStringLiteral("room"), panel);
        EXPECT_THAT(e.value_or(QString()).toStdString(), testing::HasSubstr(c.error)) << c.text;
        EXPECT_EQ(panel.name, "kept") << "a refused file leaves the panel as it was";
    }
}

TEST(RoomPanelFile, TheReadmeExampleIsOneAndFilesTooLargeAreNotRead)
{
    RoomPanel panel;
    ASSERT_EQ(ReadRoomPanel(QStringLiteral(ROOM_EXAMPLE), panel), std::nullopt);
    EXPECT_EQ(panel.name, "hall");
    EXPECT_EQ(panel.controls.size(), 10u);
    EXPECT_THAT(ReadRoomPanel(QStringLiteral("/dev/zero"), panel).value_or(QString()).toStdString(),
                testing::HasSubstr("/dev/zero: larger than 64 KiB"));
}

TEST(PinGuard, FiveWrongTriesInARowPauseEvenTheRightOne)
{
    using V = PinGuard::Verdict;
    PinGuard guard;
    const struct { const char* given; qint64 atMs; V verdict; } steps[] = {
        {"1111", 0, V::Wrong}, {"1111", 1, V::Wrong}, {"1111", 2, V::Wrong}, {"1111", 3, V::Wrong},
        {"2580", 4, V::Right},  // the right one starts the count again
        {"1111", 5, V::Wrong}, {"1111", 6, V::Wrong}, {"1111", 7, V::Wrong}, {"1111", 8, V::Wrong}, {"1111", 9, V::Wrong},
        {"2580", 10, V::Paused}, {"2580", 9 + PinGuard::kPauseMs - 1, V::Paused}, {"2580", 9 + PinGuard::kPauseMs, V::Right},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(guard.Try(QStringLiteral("2580"), QLatin1String(s.given), s.atMs), s.verdict) << s.given << " at " << s.atMs;
    }
    EXPECT_EQ(PinGuard().Try({}, {}, 0), V::Wrong) << "a panel without a PIN takes none";
}

TEST_F(Room, OnlyThePanelsItemsWithinItsLimitsReachTheDevice)
{
    StartRoom();
    const struct { const char* method; const char* path; const char* body; const char* token; int status; const char* says; Strings frames; } cases[] = {
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"gain_db":-12}}})", "room-token", 200, "", {"A3 18 10"}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"master_left":{"position":79},"master_right":{"position":79}}})", "room-token", 200, "", {"A2 4F 03", "A2 4F 04"}},
        {"PATCH", "/api/room/hall/state", R"({"line_source":"off","ducking":{"manual":true}})", "room-token", 200, "", {"A1 00", "A8 02"}},
        {"POST", "/api/room/hall/presets/2/load", "", "room-token", 200, "", {"AB 02 00"}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"gain_db":-3}}})", "room-token", 403, "-3dB is above the highest level this panel allows for \"Lectern\" (-6dB)", {}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"position":79}}})", "s3cret", 403, "mute is below the lowest level", {}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"master_left":{"gain_db":-6}}})", "room-token", 403, "above the highest level this panel allows for \"Volume\"", {}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"mute":true}}})", "room-token", 403, "channels.mic1.mute: not on this room panel", {}},
        {"PATCH", "/api/room/hall/state", R"({"ducking":{"threshold":20}})", "room-token", 403, "ducking.threshold: not on this room panel", {}},
        {"PATCH", "/api/room/hall/state", R"({"line_source":"tuner"})", "room-token", 403, "\"tuner\" is not offered on this panel (cd, off)", {}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"gain_db":-12}}})", "", 401, "a token is needed", {}},
        {"PATCH", "/api/room/hall/state", R"({"channels":{"mic1":{"gain_db":-12}}})", "wrong", 401, "wrong token", {}},
        {"POST", "/api/room/hall/presets/1/load", "", "room-token", 403, "presets/1/load: not on this room panel", {}},
        {"POST", "/api/room/hall/presets/2/save", "", "room-token", 403, "presets/2/save: not on this room panel", {}},
        {"PATCH", "/api/state", R"({"channels":{"mic1":{"gain_db":-12}}})", "room-token", 403, "this is room panel \"hall\"'s token", {}},
        {"POST", "/api/presets/2/load", "", "room-token", 403, "reaches /room/hall/ and /api/room/hall/ only", {}},
        {"GET", "/metrics", "", "room-token", 403, "room panel \"hall\"'s token", {}},
        {"GET", "/", "", "room-token", 403, "room panel \"hall\"'s token", {}},
        {"GET", "/api/room/lobby/state", "", "room-token", 404, "lobby: no such room panel", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + ' ' + c.path + ' ' + c.body);
        sim_->ClearReceived();
        const Answer a = Http(c.method, QLatin1String(c.path), c.body, c.token);
        EXPECT_EQ(a.status, c.status) << a.body.constData();
        EXPECT_THAT(a.json.value("error").toString().toStdString(), testing::HasSubstr(c.says));
        EXPECT_EQ(Commands(), c.frames);
    }
}

TEST_F(Room, ReadsAndTheLiveStreamShowOnlyThePanelsPart)
{
    StartRoom();
    const QSet<QString> part{"channels.mic1.position", "channels.mic1.gain_db", "channels.mic2.mute",
                             "channels.master_left.position", "channels.master_left.gain_db",
                             "channels.master_right.position", "channels.master_right.gain_db",
                             "line_source", "ducking.manual", "ducking.active"};
    EXPECT_EQ(Leaves(Http("GET", "/api/room/hall/state", {}, "room-token").json), part);
    const QJsonObject room = Http("GET", "/api/room/hall", {}, "room-token").json;
    EXPECT_EQ(Leaves(room.value("state").toObject()), part);
    QStringList labels;
    for (const QJsonValue& c : room.value("panel").toObject().value("controls").toArray()) {
        labels << c.toObject().value("label").toString();
    }
    EXPECT_EQ(labels, QStringList({"Lectern", "Radio mic", "Music", "Volume", "Concert", "Speech first"}));

    LiveClient panel(BaseUrl("ws") + "/api/room/hall/live?token=room-token");
    LiveClient full(BaseUrl("ws") + "/api/live?token=s3cret");
    EXPECT_TRUE(panel.messages.front().value("may_change").toBool());
    QJsonObject first = panel.messages.front();
    EXPECT_EQ(first.take("levels").toObject().keys(), QStringList({"master_left", "master_right", "mic1"}));
    EXPECT_EQ(Leaves(first), part + QSet<QString>({"may_change", "online"}));
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic3":{"gain_db":-20}}})", "s3cret").status, 200);
    ASSERT_EQ(Http("PATCH", "/api/state", R"({"channels":{"mic1":{"gain_db":-20}}})", "s3cret").status, 200);
    ASSERT_TRUE(panel.Saw([](const QJsonObject& m) { return m["channels"]["mic1"]["position"].toInt() == 36; }));
    for (const QJsonObject& m : panel.messages) {
        EXPECT_FALSE(m.value("channels").toObject().contains("mic3")) << "a change outside the panel reached it";
    }
    sim_->ClearReceived();
    panel.socket.sendTextMessage(R"({"channels":{"mic3":{"mute":true}}})");
    ASSERT_TRUE(panel.Saw([](const QJsonObject& m) { return m.value("status").toInt() == 403; }));
    EXPECT_EQ(Commands(), Strings{});

    QWebSocket stray;
    stray.open(QUrl(BaseUrl("ws") + "/api/live?token=room-token"));
    EXPECT_TRUE(WaitFor([&] { return stray.closeCode() == 4403; })) << "the panel's token on the full stream";
}

TEST_F(Room, APinGuardsChangesButNotReadsAndPausesAfterWrongTries)
{
    StartRoom(QStringLiteral("2580"));
    const char* const patch = R"({"channels":{"mic2":{"mute":true}}})";
    using Headers = QList<std::pair<QByteArray, QByteArray>>;
    EXPECT_EQ(Http("GET", "/api/room/hall/state", {}, "room-token").status, 200);
    EXPECT_EQ(Http("PATCH", "/api/room/hall/state", patch, "room-token").json.value("error"),
              "this panel is locked: its PIN is needed to change anything");
    EXPECT_EQ(Http("PATCH", "/api/room/hall/state", patch, "room-token", {}, Headers{{"X-Kestra-Pin", "1234"}}).json.value("error"), "wrong PIN");
    EXPECT_EQ(Commands(), Strings{});
    EXPECT_EQ(Http("PATCH", "/api/room/hall/state", patch, "room-token", {}, Headers{{"X-Kestra-Pin", "2580"}}).status, 200);
    EXPECT_EQ(Http("PATCH", "/api/room/hall/state", R"({"channels":{"mic2":{"mute":false}}})", "s3cret").status, 200)
        << "the server's own token needs no PIN";

    LiveClient locked(BaseUrl("ws") + "/api/room/hall/live?token=room-token");
    LiveClient open(BaseUrl("ws") + "/api/room/hall/live?token=room-token&pin=2580");
    EXPECT_FALSE(locked.messages.front().value("may_change").toBool());
    EXPECT_TRUE(open.messages.front().value("may_change").toBool());

    for (int i = 0; i < PinGuard::kTries; ++i) {
        EXPECT_EQ(Http("POST", "/api/room/hall/unlock", {}, "room-token", {}, Headers{{"X-Kestra-Pin", "0000"}}).status, 403);
    }
    const Answer paused = Http("POST", "/api/room/hall/unlock", {}, "room-token", {}, Headers{{"X-Kestra-Pin", "2580"}});
    EXPECT_EQ(paused.status, 429);
    EXPECT_THAT(paused.json.value("error").toString().toStdString(), testing::HasSubstr("too many wrong PINs"));
}
