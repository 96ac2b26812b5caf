// The firmware update from the window's buttons, through the real driver,
// against the simulated KESTRA.
#include "Commands.h"
#include "Connection.h"
#include "UpdateRun.h"
#include "DeviceConversation.h"
#include "FirmwareImage.h"
#include "Hex.h"
#include "InterruptedUpdate.h"
#include "LUpdate.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "PortName.h"
#include "PtyPeer.h"
#include "Ser2net.h"
#include "StatusBar.h"
#include "UpdateTestSupport.h"
#include "WaitFor.h"

#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

constexpr const char* kUpdateOk = "Update OK , Please ReConnect!!";

class UpdateWindow : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        ASSERT_TRUE(firmware::SetForRun(image_));
    }
    void TearDown() override
    {
        PanelFixture::TearDown();
        firmware::ResetForRun();
    }
    // At the real speeds (the simulator throws away bytes heard at the wrong
    // one), with a window that is not shown and so does not connect by itself.
    // The boot loader's quiet spell is longer than the default: on a loaded
    // machine the panel's thread may be held up between a header and its block.
    void StartUpdatable(bool inBootLoader)
    {
        sim::SimOptions options;
        options.idleMs = 500;
        options.wireSpeed = true;
        options.bootLoader = inBootLoader;
        StartDevice(options);
        BuildWindow();
        w_->SetServiceMode(true);
    }
    // What this window told the user, one "kind: text" each.
    QString Told() const
    {
        QStringList out;
        for (const auto& a : dialogs_->asked) {
            out << a.kind + ": " + a.text;
        }
        return out.join("; ");
    }
    // The device holds the image and the window is back to disconnected.
    void ExpectFinished()
    {
        ASSERT_TRUE(WaitFor([&] { return Told().contains(kUpdateOk) && !w_->Connected(); }, 20000))
            << "received " << device_->ReceivedCount() << ", garbled " << device_->GarbledBytes();
        const sim::Flash flash = device_->FlashContents();
        EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin()));
        EXPECT_FALSE(w_->Updating() || w_->sbMain->SimplePanel() || !w_->btnConnect->isEnabled());
        EXPECT_EQ(Status(0), QStringLiteral("disconnect"));
        EXPECT_EQ(w_->suiProgressBar1->value(), 100) << "a finished update stays full";
        EXPECT_FALSE(InterruptedUpdateOn(comm::ResolvePortName(w_->Device().Port().number, w_->Device().Port().name)))
            << "a finished update is no longer pending on the port it ran on";
    }

    ByteVector image_ = updatetest::MakeImage(7);
};

// The whole update from the regular firmware, and one cut off at each stage
// of the boot loader's conversation: the connection error is answered Abort,
// and Update2 finishes against the waiting boot loader.
TEST_F(UpdateWindow, WholeUpdateAndInterruptedOnesFinishedWithUpdate2)
{
    // 01, 05 55 AA, 112 erases; then header and data per page; 06, 04.
    for (const std::size_t cut : {0, 2 + 56, 2 + 112 + 2 * 40 + 1, 2 + 112 + 2 * 111}) {
        SCOPED_TRACE(cut);
        StartUpdatable(cut > 0);
        // A boot loader cut off while awaiting a data block takes the next
        // start byte as data and stays silent: the silence restarts the
        // update. Shorter than 8 s, longer than the boot loader's quiet spell.
        w_->Device().SetSilenceLimitMs(2000);
        dialogs_->answers.push_back(TDialogs::Answer::Abort);
        QTest::mouseClick(cut ? w_->btnUpdate2 : w_->btnUpdate, Qt::LeftButton);
        EXPECT_TRUE(InterruptedUpdateOn(QString::fromStdString(linkPath_))) << "pending until it ends well";
        if (cut == 0) {
            EXPECT_TRUE(w_->Updating());
            EXPECT_EQ(Status(0), QStringLiteral("COM1 connected"));
        } else {
            ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= cut; }, 10000));
            device_->Vanish();
            ASSERT_TRUE(WaitFor([&] { return !w_->Connected(); }, 5000));
            EXPECT_FALSE(w_->Updating());
            EXPECT_TRUE(Told().contains("KESTRA connection error!"));
            EXPECT_TRUE(device_->InBootLoader());
            ASSERT_FALSE(device_->Reappear().empty());
            QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
        }
        ExpectFinished();
        EXPECT_FALSE(device_->InBootLoader());
        if (cut == 0) {
            // Reset, start, program start, 112 erases, 112 headers and blocks, finish, MCU reset.
            EXPECT_EQ(ToHex(device_->Received().front()), "10 02 01 01 08 10 03 09");
            EXPECT_EQ(device_->ReceivedCount(), 3u + 112u * 3u + 2u);
            EXPECT_EQ(device_->GarbledBytes(), 0u);
            EXPECT_EQ(LogLines(), QStringList{"-> [08]"}) << "only the framed reset is logged";
        }
    }
}

// The whole update through ser2net's rfc2217://, with its real switch to
// 115200. (A suite of its own: the cases that start ser2net stay out of the
// thread checker's run.)
using Rfc2217Ser2net = UpdateWindow;
TEST_F(Rfc2217Ser2net, WholeUpdateSwitchesTheNetworkLineTo115200)
{
    StartUpdatable(false);
    Ser2net server(QString::fromStdString(device_->Path()), Ser2net::Mode::Rfc2217);
    ASSERT_TRUE(server.Start()) << server.Why().toStdString();
    LComm::SetPortOverride({});
    w_->Device().Port().name = server.Url();
    QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
    ExpectFinished();
    EXPECT_EQ(device_->GarbledBytes(), 0u) << "every byte at the speed the device listened at";
    EXPECT_FALSE(device_->InBootLoader());
}

// Closing the window while an update runs: the line is closed at once, no
// pending step opens it again, nothing more goes out, the settings are saved.
TEST_F(UpdateWindow, ClosingTheWindowMidUpdateExitsPromptlyAndSaves)
{
    const std::function<bool(const sim::KestraSim&)> stages[] = {
        [](const sim::KestraSim& d) { return d.InBootLoader(); },  // the panel waits before changing speed
        [](const sim::KestraSim& d) { return d.ReceivedCount() >= 1 + 2 + 112 + 41; },  // programming
    };
    for (const auto& reached : stages) {
        QFile::remove(settingsFile_);
        StartUpdatable(false);
        QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return reached(*device_); }, 10000));
        EXPECT_LT(Timed([&] { w_->close(); }), 2000);
        EXPECT_FALSE(w_->Connected() || w_->Updating());
        const std::size_t sent = device_->ReceivedCount();
        // Longer than the restart wait: its step must find the line closed.
        EXPECT_FALSE(WaitFor([&] { return w_->Connected() || device_->ReceivedCount() != sent; }, 2 * LUpdate::kSpeedChangeDelayMs));
        EXPECT_TRUE(dialogs_->asked.empty());
        EXPECT_EQ(StoredInt("Port No"), 1);
        EXPECT_LT(Timed([&] { w_.reset(); }), 2000);
        EXPECT_TRUE(device_->InBootLoader()) << "cut off, it waits for Update2";
    }
}

// Ignore on a connection error mid-update drops the line but leaves the
// update-mode flag; a later regular connection must not feed the updater.
TEST_F(UpdateWindow, RegularConnectionAfterAnIgnoredErrorIsNotAnUpdate)
{
    StartUpdatable(true);
    dialogs_->answers.push_back(TDialogs::Answer::Ignore);
    QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 20; }, 5000));
    device_->Vanish();
    ASSERT_TRUE(WaitFor([&] { return !w_->Connected(); }, 5000));
    EXPECT_TRUE(w_->Updating());
    device_.reset();
    sim::SimOptions regular;
    regular.linkPath = linkPath_;
    device_ = std::make_unique<sim::KestraSim>(regular);
    ASSERT_FALSE(device_->Start().empty());
    QTest::mouseClick(w_->btnConnect, Qt::LeftButton);
    ASSERT_NE(w_->Device().Line(), nullptr);
    EXPECT_FALSE(w_->Updating() || w_->sbMain->SimplePanel());
    // Replies reached the dispatcher and the log, not the updater.
    EXPECT_TRUE(WaitFor([&] { return LogLines().filter(QStringLiteral("<- ")).size() >= 40; }, 10000));
}

// Starts that must not or cannot succeed: the user is told once and the line
// is closed again. Both buttons start through one path, so each refusal is
// tried on one; the tries differ only in what goes out first.
TEST_F(UpdateWindow, RefusedOrFailedStartsTellTheUserOnce)
{
    // Connected: it only complains, and nothing goes out.
    StartDevice();
    ShowAndConnect();
    w_->SetServiceMode(true);
    ClearReceived();
    const QStringList log = LogLines();
    QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
    Settle();
    EXPECT_TRUE(ReceivedHex().empty());
    EXPECT_FALSE(w_->Updating());
    EXPECT_NE(w_->Device().Engine(), nullptr) << "the regular connection stands";
    EXPECT_EQ(LogLines(), log);
    EXPECT_EQ(Told(), "Information: You must be disconnect first!!");
    // Without an image: says so and opens nothing.
    ASSERT_TRUE(firmware::SetForRun({}));
    StartUpdatable(true);
    QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
    EXPECT_FALSE(w_->Connected() || w_->Updating());
    EXPECT_TRUE(Told().section(": ", 1).startsWith("No firmware image"));
    // A device that never answers: a few tries at the boot loader's speed.
    ASSERT_TRUE(firmware::SetForRun(image_));
    PtyPeer silent;
    ASSERT_TRUE(silent.Ok());
    LComm::SetPortOverride(QString::fromStdString(silent.Path()));
    for (QPushButton* TfrmMain::*button : {&TfrmMain::btnUpdate, &TfrmMain::btnUpdate2}) {
        const bool second = button == &TfrmMain::btnUpdate2;
        SCOPED_TRACE(second ? "Update2" : "Update");
        BuildWindow();
        w_->SetServiceMode(true);
        w_->Device().SetSilenceLimitMs(150);
        QTest::mouseClick(w_.get()->*button, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !w_->Connected() && !dialogs_->asked.empty(); }, 5000));
        EXPECT_FALSE(w_->Updating());
        EXPECT_EQ(Told(), "Error: Error Recommand !!");
        const ByteVector line = silent.Read();  // the reset frame or Update2's start byte, then one start byte a try
        EXPECT_EQ(std::count(line.begin() + (second ? 1 : 8), line.end(), 0x01), UpdateRun::kBootLoaderTries);
    }
}

// The link breaks before the boot loader has answered: a closed port's
// speed cannot be changed, so it is opened again at the boot loader's speed
// and the start byte goes out there.
TEST_F(UpdateWindow, ALinkLostBeforeTheBootLoaderAnsweredIsOpenedAgain)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    std::vector<QByteArray> lines;  // what each connection received; the first is cut after the reset frame
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, [&lines, s, n = lines.size()] {
            lines.resize(std::max(lines.size(), n + 1));
            lines[n] += s->readAll();
            if (n == 0) {
                s->close();
            }
        });
    });
    LComm::SetPortOverride(QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
    BuildWindow();
    w_->SetServiceMode(true);
    QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return lines.size() >= 2 && !lines[1].isEmpty(); }, 5000));
    EXPECT_EQ(ToHex(ByteVector(lines[0].begin(), lines[0].end())),
              ToHex(CM_MCS_IAP_RESET(sub::kIapReset).MakeFrame(frame::kModeFramed)));
    EXPECT_TRUE(w_->Updating() && lines[1].front() == '\x01') << "the start byte on the port opened again";
}

}  // namespace
