// The window's connection without a window: everything it has to say goes
// through its view, whatever the device and the line do, and the user's
// answer to a failed line decides what the view hears next.
#include "Connection.h"
#include "ConnectionView.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "WaitFor.h"

#include <QWidget>

namespace {

// Writes down what it hears, in order. A line note only when it changes (each
// report says again that the device answers), and only its first word: the
// rest names the port and the failure.
class RecordingView final : public ConnectionView {
public:
    QStringList heard;

    QWidget& Host() override { return host_; }
    void ShowConnectionState(const QString& text) override { heard << "state " + text; }
    void ShowMessage(const QString&) override {}
    void ShowLineNote(const QString& text) override
    {
        const QString note = "note " + text.section(QLatin1Char(' '), 0, 0);
        if (note != note_) {
            heard << note;
        }
        note_ = note;
    }
    void ConnectionChanged(bool connected) override { heard << (connected ? "on" : "off"); }
    void ShowReport(const ReportEvent&, QString&) override {}
    bool HandleLinkLost(int code) override { heard << QStringLiteral("lost %1").arg(code); return false; }

private:
    QWidget host_;
    QString note_ = QStringLiteral("note ");
};

class WindowlessConnection : public PanelFixture {};

TEST_F(WindowlessConnection, TheViewHearsEveryTurnOfTheLine)
{
    const QString on = "on | state COM1 connected | note no | note ";
    const struct { const char* name; bool device; std::optional<TDialogs::Answer> silenceThen; QString heard; } cases[] = {
        {"connects", true, {}, on},
        {"no such port", false, {}, "state disconnect | state disconnect | off"},
        {"silence, abort", true, TDialogs::Answer::Abort, on + " | note COM1: | lost 0 | note  | state disconnect | off"},
        {"silence, ignore", true, TDialogs::Answer::Ignore, on + " | note COM1: | lost 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.device ? StartDevice() : LComm::SetPortOverride(dir_.filePath(QStringLiteral("missing")));
        RecordingView view;
        ScriptedDialogs dialogs;
        dialogs.answers = {c.silenceThen.value_or(TDialogs::Answer::Ignore)};
        DeviceConnection connection(view, dialogs, [](const LCmd&, Direction, quint32) {});
        connection.SetSilenceLimitMs(300);
        connection.Connect();
        ASSERT_TRUE(!c.device || WaitFor([&] { return connection.StateRead(); }, 5000));
        if (c.silenceThen) {
            device_->SetFault({sim::FaultKind::Silence, 0, -1});
            // The box is answered at once: all it leads to is heard by then.
            ASSERT_TRUE(WaitFor([&] { return view.heard.last().startsWith("lost") || !dialogs.asked.empty(); }, 5000));
            EXPECT_EQ(dialogs.asked.size(), 1u);
        }
        EXPECT_EQ(view.heard.join(" | ").toStdString(), c.heard.toStdString());
        EXPECT_EQ(connection.Connected(), c.device && !c.silenceThen);
    }
}

}  // namespace
