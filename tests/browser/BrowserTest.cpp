// The web panel in a real browser (headless Chromium driven by
// web_panel.py through Selenium) against the simulated device: the page
// shows the device's state, its controls send the right frames, and what
// another client or the device changes appears in it.
#include "BridgeFixture.h"
#include "Mroutine.h"
#include "RoomPanel.h"
#include "WaitFor.h"

#include <gmock/gmock.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <utility>

namespace {
const char* const kPython = "/usr/bin/python3";

class Browser : public BridgeFixture {
protected:
    void SetUp() override
    {
        // chromium-driver brings chromium with it.
        if (!QFileInfo(QStringLiteral("/usr/bin/chromedriver")).isExecutable() ||
            QProcess::execute(QString::fromLatin1(kPython), {QStringLiteral("-c"), QStringLiteral("import selenium")}) != 0) {
            GTEST_SKIP() << "no browser to test with (Debian: chromium-driver python3-selenium)";
        }
    }
    // The script's next report, one JSON object per line; it goes on when
    // told to, so that the device is looked at between its steps.
    QJsonObject Next()
    {
        if (std::exchange(started_, true)) {
            script_.write("go\n");
        }
        EXPECT_TRUE(WaitFor([&] { return script_.canReadLine() || script_.state() == QProcess::NotRunning; }, 90000));
        const QByteArray line = script_.readLine();
        EXPECT_FALSE(line.isEmpty()) << script_.readAllStandardError().constData();
        return QJsonDocument::fromJson(line).object();
    }
    // Lets the script finish; it ends well.
    void Finish()
    {
        // The server answers the page from this thread's event loop: wait with it running.
        script_.write("go\n");
        ASSERT_TRUE(WaitFor([&] { return script_.state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(script_.exitCode(), 0) << script_.readAllStandardOutput().constData() << script_.readAllStandardError().constData();
    }
    QProcess script_;
    bool started_ = false;
};
}  // namespace

TEST_F(Browser, ATokenFromTheAddressIsKeptOnlyOnceTheServerTookIt)
{
    StartBridge({"s3cret", true, false});
    QProcess script;  // the script checks the page
    script.start(QString::fromLatin1(kPython), {QStringLiteral(WEB_PANEL_SCRIPT), "--token", BaseUrl() + QStringLiteral("/")});
    ASSERT_TRUE(WaitFor([&] { return script.state() == QProcess::NotRunning; }, 90000));
    EXPECT_TRUE(script.exitCode() == 0 && script.readAllStandardOutput().contains("kept once taken")) << script.readAllStandardError().constData();
}

TEST_F(Browser, PageShowsTheDeviceSendsItsChangesAndFollowsOthers)
{
    StartBridge();
    sim_->ClearReceived();
    script_.start(QString::fromLatin1(kPython), {QStringLiteral(WEB_PANEL_SCRIPT), BaseUrl() + QStringLiteral("/")});

    const QJsonObject shown = Next();
    EXPECT_EQ(shown.value("line").toString(), "-5dB");
    EXPECT_EQ(shown.value("mic3_mute").toString(), "false");

    EXPECT_EQ(Next().value("clicked").toString(), "MIC 3 mute");
    EXPECT_EQ(Commands(), std::vector<std::string>{"AE 01 12"});

    const QJsonObject dragged = Next();
    const int position = dragged.value("value").toInt(-1);
    ASSERT_GE(position, 0) << QJsonDocument(dragged).toJson().constData();
    // The drag's frames end with the position the page shows, which the device holds.
    const std::vector<std::string> frames = Commands();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back(), QStringLiteral("A3 %1 11").arg(position, 2, 16, QLatin1Char('0')).toUpper().toStdString());
    EXPECT_EQ(sim_->State().live.micGain[1], position);

    // Only a level typed as one reaches the device: not an empty box, not a word.
    sim_->ClearReceived();  // before the script goes on to type
    EXPECT_EQ(Next().value("typed").toString(), "MIC 4 gain in dB");
    EXPECT_EQ(Commands(), std::vector<std::string>{"A3 25 13"});

    EXPECT_EQ(Http("PATCH", "/api/state", R"({"line_source":"cd"})").status, 200);  // another client
    sim_->SetSpeech(1);
    EXPECT_FALSE(Next().value("seen").toString().isEmpty());
    sim_->Vanish();
    EXPECT_FALSE(Next().value("offline").toString().isEmpty());
    ASSERT_FALSE(sim_->Reappear().empty());
    Finish();
}

TEST_F(Browser, RoomPanelsShowTheirControlsSendWithinLimitsAndStayInStepWithTheFullPage)
{
    RoomPanel hall, lobby;
    ASSERT_EQ(ReadRoomPanel(QStringLiteral(ROOM_EXAMPLE), hall), std::nullopt);
    hall.pin.clear();  // the PIN's rules: the bridge tests
    hall.token = QStringLiteral("hall-token");
    ASSERT_EQ(ParseRoomPanel(R"({"name": "lobby", "controls": [{"gain": "mic1", "label": "Lobby mic"}]})", {}, lobby), std::nullopt);
    lobby.token = QStringLiteral("lobby-token");
    ServeOptions serve;
    serve.panels = {hall, lobby};
    StartBridge({}, {}, serve);
    const QTemporaryDir shots;
    script_.start(QString::fromLatin1(kPython), {QStringLiteral(ROOM_PANEL_SCRIPT), shots.path(), BaseUrl() + "/room/hall/?token=hall-token",
                                                BaseUrl() + "/room/lobby/?token=lobby-token", BaseUrl() + "/"});
    auto mic1 = [this] { return QString::fromStdString(PositionText(sim_->State().live.micGain[0])); };

    const QJsonObject shown = Next();
    EXPECT_EQ(shown.value("title").toString(), "Small hall");
    EXPECT_EQ(shown.value("sections").toVariant().toStringList(),
              QStringList({"Lectern", "Lectern on", "Radio mic", "Radio mic on", "Music", "Music level", "Volume", "Lecture",
                           "Concert", "Speech first"}));
    EXPECT_EQ(shown.value("controls").toVariant().toStringList(),
              QStringList({"Concert", "Lectern", "Lectern on mute", "Lecture", "Music Aux", "Music CD", "Music Off", "Music level",
                           "Radio mic", "Radio mic on mute", "Speech first", "Volume"}));

    sim_->ClearReceived();
    const QJsonObject moved = Next();
    EXPECT_EQ(moved.value("shown").toString(), mic1()) << "the page shows what the device holds";
    EXPECT_THAT(Commands(), testing::Contains(testing::EndsWith(" 10")));
    sim_->ClearReceived();
    EXPECT_EQ(Next().value("pressed").toString(), "Music CD");
    EXPECT_EQ(Commands(), std::vector<std::string>{"A1 03"});

    const QStringList inStep = Next().value("in_step").toVariant().toStringList();
    EXPECT_EQ(inStep, QStringList(3, mic1())) << "hall, lobby and the full page";
    for (const char* size : {"tablet", "phone"}) {
        const QJsonObject layout = Next();
        EXPECT_EQ(layout.value("size").toString(), size);
        EXPECT_FALSE(layout.value("overflow").toBool()) << size << ": wider than the screen";
        EXPECT_EQ(layout.value("small").toArray().size(), 0) << size << ": controls too small to touch";
        EXPECT_TRUE(QFileInfo::exists(shots.filePath(QStringLiteral("room-%1.png").arg(QLatin1String(size)))));
    }
    Finish();
}
