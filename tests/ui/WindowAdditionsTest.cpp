// Backup and restore, undo, reconnecting, the decoded log and the demo's
// name, against the simulated device (factory state: every microphone at
// position 20, line source Tuner): the exact frames it receives.
#include "PanelFixture.h"

#include "AutoReconnect.h"
#include "Commands.h"
#include "Connection.h"
#include "Fmsg.h"
#include "Hex.h"
#include "Language.h"
#include "Lcomm.h"
#include "Panel.h"
#include "Rhtrack.h"
#include "Ser2net.h"
#include "StatusBar.h"
#include "UndoHistory.h"
#include "WaitFor.h"
#include "WindowAdditions.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTest>

#include <algorithm>

namespace {

using Frames = std::vector<std::string>;

std::string Framed(const LCmd& c) { return ToHex(c.MakeFrame(frame::kModeFramed)); }

class WindowAdditionsTest : public PanelFixture {
protected:
    QByteArray ReadBack(const QString& name, bool write, const QByteArray& bytes = {})
    {
        QFile f(dir_.filePath(name));
        EXPECT_TRUE(f.open(write ? QIODevice::WriteOnly : QIODevice::ReadOnly));
        return write ? QByteArray::number(f.write(bytes)) : f.readAll();
    }
    // The device behind Debian's ser2net (raw TCP); the window's own choice opens it.
    void Serve()
    {
        StartDevice();
        server_ = std::make_unique<Ser2net>(QString::fromStdString(device_->Path()), Ser2net::Mode::Raw);
        ASSERT_TRUE(server_->Start()) << server_->Why().toStdString();
        LComm::SetPortOverride({});
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Port Name", server_->Url());
    }
    // What the device received once everything sent so far was answered
    // (a frame queued behind a poll in flight arrives after that poll).
    Frames SentAfterSettling(std::size_t expected = 0)
    {
        WaitFor([&] { return ReceivedHex().size() >= expected; }, 3000);
        Settle();
        return ReceivedHex();
    }
    bool BackToFactory()
    {
        const bool back = WaitFor([&] { return device_->State().live == sim::Settings::Factory(); });
        Settle();
        return back;
    }
    std::unique_ptr<Ser2net> server_;
};

TEST_F(WindowAdditionsTest, RestoreAsksThenSendsOnlyTheDifferencesAndRefusesBadFiles)
{
    ShowAndConnect();
    const QString backupPath = dir_.filePath("backup.json");
    ASSERT_TRUE(w_->Additions().SaveBackup(backupPath));
    const QByteArray backup = ReadBack("backup.json", false);
    const QByteArray header = R"("format": "kestra-state", "version": 1)";
    // said: in the list of changes, or in the error
    const struct { QByteArray items; bool bad; const char* said; } cases[] = {
        {R"("channels": {"mic3": {"position": 25}})", false, "MIC 3 gain -10dB -> -12.5dB"},
        {R"("channels": {"sub_left": {"mute": true}})", false, "mute Sub left off -> on"},
        {R"("ducking": {"attenuation": 30})", false, "ducking attenuation 20 -> 30"},
        {R"("line_source": "cd")", false, "line source Tuner -> CD"},
        {R"("channels": {"mic3": {"position": 80}})", true, "position"},
        {R"("pad": ")" + QByteArray(70 * 1024, 'x') + '"', true, "larger than 64 KiB"},
    };
    const auto write = [&](const QByteArray& items) { ReadBack("state.json", true, "{" + header + ", " + items + "}"); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        write(c.items);
        ClearReceived();
        dialogs_->answers = {TDialogs::Answer::Cancel};
        EXPECT_FALSE(w_->Additions().Restore(dir_.filePath("state.json")));
        EXPECT_EQ(dialogs_->asked.back().kind, c.bad ? "Error" : "WarningOkCancel");
        EXPECT_TRUE(dialogs_->asked.back().text.contains(c.said)) << dialogs_->asked.back().text.toStdString();
        EXPECT_EQ(SentAfterSettling(), Frames{});
    }
    // A re-read begun while the box is open: nothing is sent from a plan made
    // before it, and the user is told the state is still being read.
    write(cases[0].items);
    ClearReceived();
    dialogs_->answers = {TDialogs::Answer::Ok};
    dialogs_->whileOpen = [this] {
        dialogs_->whileOpen = nullptr;
        w_->Device().RequestFullState();
    };
    EXPECT_FALSE(w_->Additions().Restore(dir_.filePath("state.json")));
    EXPECT_EQ(dialogs_->asked.back().kind, "Information");
    const Frames reread = SentAfterSettling(49);
    EXPECT_TRUE(std::none_of(reread.begin(), reread.end(), [](const std::string& f) { return f == Framed(CM_MCS_MIC(25, 0x12)); }));
    // Confirmed, only the difference goes out; the backup brings all back and
    // then reads as it was written.
    ClearReceived();
    dialogs_->answers = {TDialogs::Answer::Ok, TDialogs::Answer::Ok, TDialogs::Answer::Ok};
    EXPECT_TRUE(w_->Additions().Restore(dir_.filePath("state.json")));
    EXPECT_EQ(SentAfterSettling(1), Frames{Framed(CM_MCS_MIC(25, 0x12))});
    EXPECT_TRUE(WaitFor([this] { return dialogs_->asked.back().text == "Restore: 1 change(s) sent, 1 confirmed by the KESTRA."; }))
        << "a restore ends by saying what took";
    EXPECT_TRUE(w_->Additions().Restore(backupPath));
    EXPECT_TRUE(BackToFactory());
    ASSERT_TRUE(w_->Additions().SaveBackup(backupPath));
    EXPECT_EQ(ReadBack("backup.json", false), backup);
}

// A whole drag is one step (what each kind of change undoes to is the
// history's own table); the device's own reports make no step, and a loaded
// preset clears the history.
TEST_F(WindowAdditionsTest, UndoSendsThePreviousValueAndRedoTheLast)
{
    ShowAndConnect();
    Focus(w_->tbMic[3]);
    for (int p : {22, 26, 31}) {
        w_->tbMic[3]->SetPosition(p);
    }
    ASSERT_TRUE(WaitFor([&] { return std::ranges::count(ReceivedHex(), Framed(CM_MCS_MIC(31, 0x12))) > 0; }, 3000));
    Settle();
    ClearReceived();
    QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(SentAfterSettling(1), Frames{Framed(CM_MCS_MIC(20, 0x12))});
    // Undone while the fader had the focus: it lets go, so the device's report moves it back.
    EXPECT_TRUE(WaitFor([&] { return w_->tbMic[3]->Position() == 20; }));
    ClearReceived();
    QTest::keyClick(w_.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(SentAfterSettling(1), Frames{Framed(CM_MCS_MIC(31, 0x12))});
    w_->Additions().Undo();
    EXPECT_TRUE(BackToFactory());

    QTest::mouseClick(w_->Panel[2], Qt::LeftButton);
    QTest::mouseClick(w_->btnLoad, Qt::LeftButton);
    Settle();
    ClearReceived();
    w_->Additions().Undo();
    EXPECT_EQ(SentAfterSettling(), Frames{});
}

TEST(UndoHistoryGrouping, ADragOrOneActionIsOneStep)
{
    const auto mic = [](int pos) { return LCmd(CM_MCS_MIC(static_cast<std::uint8_t>(pos), 0x10)); };
    const auto sub = [](int pos, std::uint8_t ch) { return LCmd(CM_MCS_STEREO(static_cast<std::uint8_t>(pos), ch)); };
    // records: command, when, by the same action
    const struct { const char* what; std::vector<std::tuple<LCmd, qint64, bool>> records; std::vector<LCmd> firstUndo; int steps; } cases[] = {
        {"drag", {{mic(3), 0, false}, {mic(9), UndoHistory::kJoinMs - 1, false}}, {mic(0)}, 1},
        {"drag, pause, drag", {{mic(3), 0, false}, {mic(9), UndoHistory::kJoinMs, false}}, {mic(0)}, 2},
        {"ganged pair", {{sub(4, 1), 0, false}, {sub(4, 2), 0, true}}, {sub(0, 2), sub(0, 1)}, 1},
        {"two faders", {{mic(3), 0, false}, {sub(4, 1), 1, false}}, {sub(0, 1)}, 2},
        {"mute", {{LCmd(CM_MCS_MUTE(1, 0x11)), 0, false}}, {LCmd(CM_MCS_MUTE(0, 0x11))}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<LCmd> sent;
        UndoHistory history([&](const LCmd& command) { sent.push_back(command); });
        for (const auto& [command, at, sameAction] : c.records) {
            history.Record(command, DeviceState{}, at, sameAction);
        }
        int steps = 0;
        while (history.Undo()) {
            if (++steps == 1) {
                EXPECT_EQ(sent, c.firstUndo);
            }
        }
        EXPECT_EQ(steps, c.steps);
    }
}

// Ticked, a vanished port (an unplugged adapter, a dropped network link)
// raises no box: the panel waits and reads the whole state again once the
// port is back. Unticked it is the one box of any other link fault.
TEST_F(WindowAdditionsTest, VanishedPortIsWaitedForWhenTicked)
{
    for (const bool network : {false, true}) {
        SCOPED_TRACE(network ? "tcp" : "serial");
        network ? Serve() : StartDevice();
        BuildWindow();
        ShowAndConnect();
        if (!network) {
            EXPECT_EQ(StoredInt(QStringLiteral("Reconnect")), std::nullopt) << "off, and never written";
        }
        w_->Additions().cbReconnect->setChecked(true);
        EXPECT_EQ(StoredInt(QStringLiteral("Reconnect")), 1);
        network ? server_->Kill() : device_->Vanish();
        ASSERT_TRUE(WaitFor([&] { return !w_->Connected(); }));
        EXPECT_TRUE(dialogs_->asked.empty());
        EXPECT_TRUE(w_->Additions().Reconnect().Waiting());
        EXPECT_EQ(Status(1), QStringLiteral("waiting for %1...").arg(w_->PortLabel()));
        ClearReceived();
        if (network) {
            ASSERT_TRUE(server_->Start()) << server_->Why().toStdString();
        } else {
            device_->Reappear();
        }
        // The whole state is read again: the first poll follows the inquiries.
        ASSERT_TRUE(WaitFor([&] { return w_->Connected() && device_->ReceivedCount() >= 50; }, 15000));
        EXPECT_EQ(Status(0), w_->PortLabel() + " connected");
        w_.reset();
    }
}

// Waiting for a network port that takes seconds to answer (or never does)
// leaves the window answering: the port opens on the reader thread.
TEST_F(WindowAdditionsTest, WaitingForASilentNetworkPortKeepsTheWindowAnswering)
{
    QTcpServer silent;  // takes the connection, never answers the RFC 2217 options
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    LComm::SetPortOverride({});
    QSettings(settingsFile_, QSettings::IniFormat).setValue("Port Name", QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort()));
    QSettings(settingsFile_, QSettings::IniFormat).setValue("Reconnect", 1);
    BuildWindow();
    w_->show();  // the start's own connection is tried as always, then the wait begins
    ASSERT_TRUE(WaitFor([&] { return w_->Additions().Reconnect().Waiting(); }, 8000));
    const StallMeter meter;
    WaitFor([&] { return meter.ElapsedMs() > 4000; }, 6000);
    // An open on this thread stalled it for the server's whole answer time
    // (3 s); a loaded machine alone may hold it up for a tenth of that.
    EXPECT_LT(meter.LongestMs(), 1000) << "the window stalled while the port was tried";
    EXPECT_FALSE(w_->Connected());
    EXPECT_TRUE(w_->Additions().Reconnect().Waiting());
    w_->Additions().cbReconnect->setChecked(false);  // no more tries; the last one ends by itself
    EXPECT_TRUE(WaitFor([&] { return !w_->Device().Opening(); }, 6000));
}

// The decoded log keeps each hex line and says what it means (with the box
// off the lines are as they always were: the log's own tests); the demo
// names the simulated device, and the name fits its panel.
TEST_F(WindowAdditionsTest, DecodedLogAndTheDemosName)
{
    StartDevice();
    BuildWindow();
    w_->NameSimulatedDevice();
    ShowAndConnect();
    w_->frmMsg->cbDecoded->setChecked(true);
    w_->frmMsg->Clear();
    QTest::mouseClick(w_->Panel[2], Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return LogLines().size() == 2; }));
    const QStringList lines = LogLines();
    const QString stamp = R"(^\d\d:\d\d:\d\d\.\d\d\d  )";
    const QString expected[] = {R"(-> \[AE\] 01 11  mute MIC 2 on$)", R"(<- \[CE\] 01 11\(\d+\)  mute MIC 2 on$)"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(QRegularExpression(stamp + expected[i]).match(lines[i]).hasMatch()) << lines[i].toStdString();
    }
    ASSERT_TRUE(w_->Additions().SaveLog(dir_.filePath("log.txt")));
    EXPECT_EQ(QString::fromUtf8(ReadBack("log.txt", false)), lines.join('\n') + '\n');
    for (const auto& [language, text] : {std::pair{kLanguageEnglish, "simulated KESTRA connected"},
                                         std::pair{kLanguageGerman, "simulierte KESTRA verbinden"}}) {
        SetLanguageFlag(language);
        w_->ApplyLanguage();
        EXPECT_EQ(Status(0), QLatin1String(text));
        const QLabel* panel = w_->sbMain->PanelLabel(0);
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(Status(0)), panel->contentsRect().width()) << text;
    }
    SetLanguageFlag(kLanguageEnglish);
}

}  // namespace
