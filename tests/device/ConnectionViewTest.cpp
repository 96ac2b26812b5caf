// The window's connection without a window: everything it has to say goes
// through its view, whatever the device and the line do, and the user's
// answer to a failed line decides what the view hears next.
#include "Connection.h"
#include "ConnectionView.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "WaitFor.h"

#include <QWidget>

#include <optional>

namespace {

using Answer = TDialogs::Answer;

// Writes down what it hears, in order; a line note only when it changes (each
// report says again that the device answers).
class RecordingView final : public ConnectionView {
public:
    QStringList heard;
    int reports = 0;
    bool keepsLinkLoss = false;

    QWidget& Host() override { return host_; }
    void ShowConnectionState(const QString& text) override { heard << "state " + text; }
    void ShowMessage(const QString& text) override { message = text; }
    void ShowLineNote(const QString& text) override
    {
        if (heard.isEmpty() || text != note_) {
            heard << "note " + text;
        }
        note_ = text;
    }
    void ConnectionChanged(bool connected) override { heard << (connected ? "on" : "off"); }
    void ShowReport(const ReportEvent&, QString&) override { ++reports; }
    bool HandleLinkLost(int code) override
    {
        heard << QStringLiteral("lost %1").arg(code);
        return keepsLinkLoss;
    }
    QString message;

private:
    QWidget host_;
    QString note_;
};

class WindowlessConnection : public PanelFixture {};

TEST_F(WindowlessConnection, TheViewHearsEveryTurnOfTheLine)
{
    const struct Case {
        const char* name;
        bool device;                   // the simulator is there
        std::optional<Answer> answer;  // silence after connecting, and the box's answer
        bool viewKeepsLoss;
        QStringList heard;             // after the state has been read, if it was
        bool connected;
    } cases[] = {
        {"connects", true, {}, false, {"on", "state COM1 connected", "*note", "note "}, true},
        {"no such port", false, {}, false, {"state disconnect", "state disconnect", "off"}, false},
        {"silence, abort", true, Answer::Abort, false,
         {"on", "state COM1 connected", "*note", "note ", "note *", "lost 0", "note ", "state disconnect", "off"}, false},
        {"silence, ignore", true, Answer::Ignore, false,
         {"on", "state COM1 connected", "*note", "note ", "note *", "lost 0"}, false},
        {"silence the view deals with", true, Answer::Abort, true,
         {"on", "state COM1 connected", "*note", "note ", "note *", "lost 0"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.device) {
            StartDevice();
        } else {
            device_.reset();
            LComm::SetPortOverride(dir_.filePath(QStringLiteral("missing")));
        }
        RecordingView view;
        view.keepsLinkLoss = c.viewKeepsLoss;
        ScriptedDialogs dialogs;
        dialogs.answers = {c.answer.value_or(Answer::Ignore)};
        int logged = 0;
        DeviceConnection connection(view, dialogs, [&](const LCmd&, Direction, quint32) { ++logged; });
        connection.SetSilenceLimitMs(300);
        connection.Connect();
        if (c.device) {
            ASSERT_TRUE(WaitFor([&] { return connection.StateRead(); }, 5000));
            EXPECT_GE(view.reports, 49) << "every report reaches the view";
            EXPECT_GT(logged, 0);
        } else {
            EXPECT_TRUE(view.message.contains(QLatin1String("no serial port"))) << view.message.toStdString();
        }
        if (c.answer) {
            device_->SetFault({sim::FaultKind::Silence, 0, -1});
            // The box is answered at once: all it leads to is heard by then.
            ASSERT_TRUE(WaitFor([&] { return view.heard.last().startsWith("lost") || !dialogs.asked.empty(); }, 5000));
            EXPECT_EQ(dialogs.asked.size(), c.viewKeepsLoss ? 0u : 1u);
        }
        // The line notes carry the port and the failure: only their start is fixed.
        QStringList heard = view.heard;
        for (int i = 0; i < std::min(heard.size(), c.heard.size()); ++i) {
            if (c.heard[i] == "*note" && heard[i].startsWith("note no answer from the KESTRA on ")) {
                heard[i] = c.heard[i];
            } else if (c.heard[i] == "note *" && heard[i].startsWith("note COM1: ")) {
                heard[i] = c.heard[i];
            }
        }
        EXPECT_EQ(heard.join(" | ").toStdString(), c.heard.join(" | ").toStdString());
        EXPECT_EQ(connection.Connected(), c.connected);
    }
}

}  // namespace
