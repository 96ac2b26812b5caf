// The web panel in a real browser (headless Chromium driven by
// web_panel.py through Selenium) against the simulated device: the page
// shows the device's state, its controls send the right frames, and what
// another client or the device changes appears in it.
#include "BridgeFixture.h"
#include "WaitFor.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

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
    QProcess script;
    script.start(QString::fromLatin1(kPython), {QStringLiteral(WEB_PANEL_SCRIPT), BaseUrl() + QStringLiteral("/")});
    // The script's next report, one JSON object per line; it goes on when
    // told to, so that the device is looked at between its steps.
    bool started = false;
    auto next = [&] {
        if (std::exchange(started, true)) {
            script.write("go\n");
        }
        EXPECT_TRUE(WaitFor([&] { return script.canReadLine() || script.state() == QProcess::NotRunning; }, 90000));
        const QByteArray line = script.readLine();
        EXPECT_FALSE(line.isEmpty()) << script.readAllStandardError().constData();
        return QJsonDocument::fromJson(line).object();
    };

    const QJsonObject shown = next();
    EXPECT_EQ(shown.value("line").toString(), "-5dB");
    EXPECT_EQ(shown.value("mic3_mute").toString(), "false");

    EXPECT_EQ(next().value("clicked").toString(), "MIC 3 mute");
    EXPECT_EQ(Commands(), std::vector<std::string>{"AE 01 12"});

    const QJsonObject dragged = next();
    const int position = dragged.value("value").toInt(-1);
    ASSERT_GE(position, 0) << QJsonDocument(dragged).toJson().constData();
    // The drag's frames end with the position the page shows, which the device holds.
    const std::vector<std::string> frames = Commands();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back(), QStringLiteral("A3 %1 11").arg(position, 2, 16, QLatin1Char('0')).toUpper().toStdString());
    EXPECT_EQ(sim_->State().live.micGain[1], position);

    // Only a level typed as one reaches the device: not an empty box, not a word.
    sim_->ClearReceived();  // before the script goes on to type
    EXPECT_EQ(next().value("typed").toString(), "MIC 4 gain in dB");
    EXPECT_EQ(Commands(), std::vector<std::string>{"A3 25 13"});

    EXPECT_EQ(Http("PATCH", "/api/state", R"({"line_source":"cd"})").status, 200);  // another client
    sim_->SetSpeech(1);
    EXPECT_FALSE(next().value("seen").toString().isEmpty());
    sim_->Vanish();
    EXPECT_FALSE(next().value("offline").toString().isEmpty());
    ASSERT_FALSE(sim_->Reappear().empty());
    // The server answers the page from this thread's event loop: wait with it running.
    script.write("go\n");
    ASSERT_TRUE(WaitFor([&] { return script.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardOutput().constData() << script.readAllStandardError().constData();
}
