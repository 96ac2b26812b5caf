// The web panel in a real browser (headless Chromium driven by
// web_panel.py through Selenium) against the simulated device: the page
// shows the device's state, its controls send the right frames, and what
// another client or the device changes appears in it.
#include "BridgeFixture.h"
#include "WaitFor.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

namespace {
const char* const kPython = "/usr/bin/python3";

std::optional<std::string> MissingBrowser()
{
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromedriver", kPython}) {
        if (!QFileInfo(QString::fromLatin1(path)).isExecutable()) {
            return std::string(path) + " is not installed (Debian: chromium chromium-driver python3-selenium)";
        }
    }
    if (QProcess::execute(QString::fromLatin1(kPython), {QStringLiteral("-c"), QStringLiteral("import selenium")}) != 0) {
        return std::string("python3-selenium is not installed");
    }
    return std::nullopt;
}

class Browser : public BridgeFixture {
protected:
    // The script's next report, one JSON object per line; it goes on when
    // told to, so that the device is looked at between its steps.
    QJsonObject Next(QProcess& script)
    {
        if (started_) {
            script.write("go\n");
        }
        started_ = true;
        EXPECT_TRUE(WaitFor([&] { return script.canReadLine() || script.state() == QProcess::NotRunning; }, 90000));
        const QByteArray line = script.readLine();
        EXPECT_FALSE(line.isEmpty()) << script.readAllStandardError().constData();
        return QJsonDocument::fromJson(line).object();
    }
    bool started_ = false;
};
}  // namespace

TEST_F(Browser, PageShowsTheDeviceSendsItsChangesAndFollowsOthers)
{
    if (auto missing = MissingBrowser()) {
        GTEST_SKIP() << "no browser to test with: " << *missing;
    }
    StartBridge();
    sim_->ClearReceived();
    QProcess script;
    script.start(QString::fromLatin1(kPython), {QStringLiteral(WEB_PANEL_SCRIPT), BaseUrl() + QStringLiteral("/")});

    const QJsonObject shown = Next(script);
    EXPECT_EQ(shown.value("line").toString(), "-5dB");
    EXPECT_EQ(shown.value("mic3_mute").toString(), "false");

    EXPECT_EQ(Next(script).value("clicked").toString(), "MIC 3 mute");
    EXPECT_EQ(Commands(), std::vector<std::string>{"AE 01 12"});

    const QJsonObject dragged = Next(script);
    const int position = dragged.value("value").toInt(-1);
    ASSERT_GE(position, 0) << QJsonDocument(dragged).toJson().constData();
    // The drag's frames end with the position the page shows, which the device holds.
    const std::vector<std::string> frames = Commands();
    ASSERT_GE(frames.size(), 2u);
    char last[16];
    std::snprintf(last, sizeof last, "A3 %02X 11", position);
    EXPECT_EQ(frames.back(), last);
    EXPECT_EQ(sim_->State().live.micGain[1], position);

    // Only a level typed as one reaches the device: not an empty box, not a word.
    sim_->ClearReceived();  // before the script goes on to type
    EXPECT_EQ(Next(script).value("typed").toString(), "MIC 4 gain in dB");
    EXPECT_EQ(Commands(), std::vector<std::string>{"A3 25 13"});

    bool done = false;
    core_->applyPatch(QJsonObject{{"line_source", "cd"}}, [&done](bool ok, QString, QJsonObject) { done = ok; });
    ASSERT_TRUE(WaitFor([&] { return done; }));
    sim_->SetSpeech(1);
    EXPECT_FALSE(Next(script).value("seen").toString().isEmpty());
    // The server answers the page from this thread's event loop: wait with it running.
    script.write("go\n");
    ASSERT_TRUE(WaitFor([&] { return script.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardOutput().constData() << script.readAllStandardError().constData();
}
