// Backup and restore, undo, reconnecting and the decoded log against the
// simulated device (factory state: every microphone at position 20, line
// source Tuner): the exact frames it receives.
#include "PanelFixture.h"

#include "AutoReconnect.h"
#include "Commands.h"
#include "Fmsg.h"
#include "Hex.h"
#include "Panel.h"
#include "Rhtrack.h"
#include "Ser2net.h"
#include "Lcomm.h"
#include "StatusBar.h"
#include "WaitFor.h"
#include "Language.h"
#include "UndoHistory.h"
#include "WindowAdditions.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <functional>

namespace {

using Frames = std::vector<std::string>;

std::string Framed(const LCmd& c)
{
    return ToHex(c.MakeFrame(frame::kModeFramed));
}

class WindowAdditionsTest : public PanelFixture {
protected:
    QString Write(const QByteArray& bytes)
    {
        const QString path = dir_.filePath(QStringLiteral("state.json"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QByteArray Backup()
    {
        const QString path = dir_.filePath(QStringLiteral("backup.json"));
        EXPECT_TRUE(w_->Additions().SaveBackup(path));
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // What the device received once everything sent so far was answered.
    Frames SentAfterSettling()
    {
        Settle();
        return ReceivedHex();
    }
};

// The backup with one item of a group changed.
QByteArray Patched(const QByteArray& backup, const char* group, const char* item, const char* key, QJsonValue value)
{
    QJsonObject all = QJsonDocument::fromJson(backup).object();
    QJsonObject g = all[QLatin1String(group)].toObject();
    if (item == nullptr) {
        g[QLatin1String(key)] = value;
    } else {
        QJsonObject i = g[QLatin1String(item)].toObject();
        i[QLatin1String(key)] = value;
        g[QLatin1String(item)] = i;
    }
    all[QLatin1String(group)] = g;
    return QJsonDocument(all).toJson();
}

TEST_F(WindowAdditionsTest, RestoreAsksThenSendsOnlyTheDifferences)
{
    ShowAndConnect();
    const QByteArray backup = Backup();
    struct Case {
        QByteArray file;
        std::string frame;
        const char* listed;
    } cases[] = {
        {Patched(backup, "channels", "mic3", "position", 25), Framed(CM_MCS_MIC(25, 0x12)), "MIC 3 gain -10dB -> -12.5dB"},
        {Patched(backup, "channels", "sub_left", "mute", true), Framed(CM_MCS_MUTE(1, 0x01)), "mute Sub left off -> on"},
        {Patched(backup, "ducking", nullptr, "attenuation", 30), Framed(CM_MCS_DK_ST_RED(30)), "ducking attenuation 20 -> 30"},
        {QByteArray(R"({"format": "kestra-state", "version": 1, "line_source": "cd"})"), Framed(CM_MCS_LINE(3)), "line source Tuner -> CD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listed);
        ClearReceived();
        dialogs_->answers = {TDialogs::Answer::Cancel};
        EXPECT_FALSE(w_->Additions().Restore(Write(c.file)));
        EXPECT_TRUE(dialogs_->asked.back().text.contains(QLatin1String(c.listed)))
            << dialogs_->asked.back().text.toStdString();
        EXPECT_EQ(SentAfterSettling(), Frames{}) << "sent although cancelled";

        dialogs_->answers = {TDialogs::Answer::Ok};
        EXPECT_TRUE(w_->Additions().Restore(Write(c.file)));
        EXPECT_EQ(SentAfterSettling(), Frames{c.frame});
        // Back to the backup, which then reads as it was written.
        dialogs_->answers = {TDialogs::Answer::Ok};
        EXPECT_TRUE(w_->Additions().Restore(Write(backup)));
        Settle();
        EXPECT_EQ(Backup(), backup);
    }
}

TEST_F(WindowAdditionsTest, BadFileIsNamedAndNothingIsSent)
{
    ShowAndConnect();
    const struct {
        QByteArray file;
        const char* problem;
    } cases[] = {
        {"not json at all", "offset"},
        {R"({"format": "other", "version": 1})", "format"},
        {R"({"format": "kestra-state", "version": 1, "line_source": "radio"})", "radio"},
        {R"({"format": "kestra-state", "version": 1, "channels": {"mic3": {"position": 80}}})", "position"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        ClearReceived();
        dialogs_->asked.clear();
        EXPECT_FALSE(w_->Additions().Restore(Write(c.file)));
        ASSERT_EQ(dialogs_->asked.size(), 1u);
        EXPECT_EQ(dialogs_->asked[0].kind, "Error");
        EXPECT_TRUE(dialogs_->asked[0].text.contains(QLatin1String(c.problem))) << dialogs_->asked[0].text.toStdString();
        EXPECT_EQ(SentAfterSettling(), Frames{});
    }
}

TEST_F(WindowAdditionsTest, UndoSendsThePreviousValueAndRedoTheLast)
{
    ShowAndConnect();
    const struct {
        const char* what;
        std::function<void(TfrmMain&)> act;
        std::string undone;
        std::string redone;
    } cases[] = {
        {"fader drag, one step",
         [this](TfrmMain& w) {
             Focus(w.tbMic[3]);
             for (int p : {22, 26, 31}) {
                 w.tbMic[3]->SetPosition(p);
             }
         },
         Framed(CM_MCS_MIC(20, 0x12)), Framed(CM_MCS_MIC(31, 0x12))},
        {"mute", [](TfrmMain& w) { QTest::mouseClick(w.Panel[2], Qt::LeftButton); },
         Framed(CM_MCS_MUTE(0, 0x11)), Framed(CM_MCS_MUTE(1, 0x11))},
        {"typed level",
         [](TfrmMain& w) {
             w.edMic[4]->setText(QStringLiteral("-12.5"));
             QTest::keyClick(w.edMic[4], Qt::Key_Return);
         },
         Framed(CM_MCS_MIC(20, 0x13)), Framed(CM_MCS_MIC(25, 0x13))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.act(*w_);
        Settle();
        ClearReceived();
        QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(SentAfterSettling(), Frames{c.undone});
        ClearReceived();
        QTest::keyClick(w_.get(), Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(SentAfterSettling(), Frames{c.redone});
        ClearReceived();
        w_->Additions().Undo();
        Settle();
    }
    // Everything undone: the device is as it started, and reports alone make no step.
    EXPECT_EQ(device_->State().live, sim::Settings::Factory());
    ClearReceived();
    w_->Additions().Undo();
    EXPECT_EQ(SentAfterSettling(), Frames{});
}

TEST_F(WindowAdditionsTest, PresetLoadClearsTheHistory)
{
    ShowAndConnect();
    QTest::mouseClick(w_->Panel[2], Qt::LeftButton);
    QTest::mouseClick(w_->btnLoad, Qt::LeftButton);
    Settle();
    ClearReceived();
    w_->Additions().Undo();
    EXPECT_EQ(SentAfterSettling(), Frames{});
}

TEST_F(WindowAdditionsTest, VanishedPortWaitsWithoutABoxOnlyWhenTicked)
{
    const struct {
        const char* what;
        bool ticked;
        bool network;  // through ser2net, which is killed and started again
    } cases[] = {{"serial, not ticked", false, false}, {"serial", true, false}, {"tcp", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Ser2net> server;
        StartDevice();
        if (c.network) {
            server = std::make_unique<Ser2net>(QString::fromStdString(device_->Path()), Ser2net::Mode::Raw);
            ASSERT_TRUE(server->Start()) << server->Why().toStdString();
            LComm::SetPortOverride({});
            QSettings(settingsFile_, QSettings::IniFormat).setValue("Port Name", server->Url());
        }
        BuildWindow();
        ShowAndConnect();
        w_->Additions().cbReconnect->setChecked(c.ticked);
        EXPECT_EQ(StoredInt(QStringLiteral("Reconnect")), c.ticked ? std::optional<int>(1) : std::nullopt);
        c.network ? server->Kill() : device_->Vanish();
        ASSERT_TRUE(WaitFor([&] { return !w_->Connected(); }));
        EXPECT_EQ(dialogs_->asked.size(), c.ticked ? 0u : 1u);
        EXPECT_EQ(w_->Additions().Reconnect().Waiting(), c.ticked);
        if (c.ticked) {
            EXPECT_EQ(Status(1), QStringLiteral("waiting for %1...").arg(w_->PortLabel()));
            ClearReceived();
            if (c.network) {
                ASSERT_TRUE(server->Start()) << server->Why().toStdString();
            } else {
                device_->Reappear();
            }
            // The whole state is read again: the first poll follows the inquiries.
            ASSERT_TRUE(WaitFor([&] { return w_->Connected() && device_->ReceivedCount() >= 50; }, 15000));
            EXPECT_EQ(Status(0), w_->PortLabel() + " connected");
            EXPECT_FALSE(w_->Additions().Reconnect().Waiting());
        }
        w_.reset();
    }
}

TEST_F(WindowAdditionsTest, DecodedLineKeepsTheHexLineAndSaysWhatItMeans)
{
    ShowAndConnect();
    w_->frmMsg->Clear();
    QTest::mouseClick(w_->Panel[2], Qt::LeftButton);
    Settle();
    const QStringList plain = LogLines();
    EXPECT_EQ(plain, (QStringList{"-> [AE] 01 11", plain.value(1)}));
    EXPECT_TRUE(plain.value(1).startsWith("<- [CE] 01 11("));

    w_->frmMsg->cbDecoded->setChecked(true);
    w_->frmMsg->Clear();
    QTest::mouseClick(w_->Panel[2], Qt::LeftButton);
    Settle();
    const QStringList decoded = LogLines();
    ASSERT_EQ(decoded.size(), 2);
    const QRegularExpression sent(R"(^\d\d:\d\d:\d\d\.\d\d\d  -> \[AE\] 00 11  mute MIC 2 off$)");
    const QRegularExpression received(R"(^\d\d:\d\d:\d\d\.\d\d\d  <- \[CE\] 00 11\(\d+\)  mute MIC 2 off$)");
    EXPECT_TRUE(sent.match(decoded[0]).hasMatch()) << decoded[0].toStdString();
    EXPECT_TRUE(received.match(decoded[1]).hasMatch()) << decoded[1].toStdString();

    const QString path = dir_.filePath(QStringLiteral("log.txt"));
    ASSERT_TRUE(w_->Additions().SaveLog(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), decoded.join('\n') + '\n');
}

}  // namespace

namespace {

TEST_F(WindowAdditionsTest, DemoNamesTheSimulatedDeviceAndTheNameFits)
{
    StartDevice();
    BuildWindow();
    w_->NameSimulatedDevice();
    ShowAndConnect();
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

// Which changes make one step: the same item within the pause of a drag, or
// anything sent by one action.
TEST(UndoHistoryGrouping, OneStepPerActionOrDrag)
{
    const DeviceState before{};  // every gain at 0
    const auto mic = [](int pos) { return LCmd(CM_MCS_MIC(static_cast<std::uint8_t>(pos), 0x10)); };
    const auto sub = [](int pos, std::uint8_t ch) { return LCmd(CM_MCS_STEREO(static_cast<std::uint8_t>(pos), ch)); };
    const qint64 pause = UndoHistory::kJoinMs;
    struct Record {
        LCmd command;
        qint64 at;
        bool sameAction;
    };
    const struct {
        const char* what;
        std::vector<Record> records;
        std::vector<LCmd> firstUndo;
        int steps;
    } cases[] = {
        {"drag", {{mic(3), 0, false}, {mic(5), 100, false}, {mic(9), 200, false}}, {mic(0)}, 1},
        {"drag, pause, drag", {{mic(3), 0, false}, {mic(9), pause + 1, false}}, {mic(0)}, 2},
        {"ganged pair", {{sub(4, 1), 0, false}, {sub(4, 2), 0, true}}, {sub(0, 2), sub(0, 1)}, 1},
        {"two faders in turn", {{mic(3), 0, false}, {sub(4, 1), 10, false}}, {sub(0, 1)}, 2},
        {"inquiry is no step", {{mic(3), 0, false}, {LCmd(CM_MCS_INQUIRY(3, 0x10)), 900, false}}, {mic(0)}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<LCmd> sent;
        UndoHistory history([&](const LCmd& command) { sent.push_back(command); });
        for (const Record& r : c.records) {
            history.Record(r.command, before, r.at, r.sameAction);
        }
        ASSERT_TRUE(history.Undo());
        EXPECT_EQ(sent, c.firstUndo);
        int steps = 1;
        while (history.Undo()) {
            ++steps;
        }
        EXPECT_EQ(steps, c.steps);
    }
}

}  // namespace
