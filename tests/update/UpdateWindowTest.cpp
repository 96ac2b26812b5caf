// The firmware update from the window's buttons, through the real driver,
// against the simulated KESTRA.
#include "Connection.h"
#include "FirmwareImage.h"
#include "Hex.h"
#include "LCommProc.h"
#include "LUpdate.h"
#include "PanelFixture.h"
#include "StatusBar.h"
#include "UpdateTestSupport.h"
#include "WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>

using updatetest::MakeImage;

namespace {

constexpr const char* kIapReset = "10 02 01 01 08 10 03 09";
constexpr const char* kUpdateOk = "Update OK , Please ReConnect!!";

// What the boot loader receives in a complete update, after the start byte.
std::vector<std::string> WholeConversation(const ByteVector& image)
{
    std::vector<std::string> out = {"05 55 AA"};
    char buf[32];
    for (int page = 0; page <= 111; ++page) {
        std::snprintf(buf, sizeof buf, "02 %02X 55 AA", page);
        out.emplace_back(buf);
    }
    for (int page = 0; page <= 111; ++page) {
        std::snprintf(buf, sizeof buf, "01 %02X 55 AA", page);
        out.emplace_back(buf);
        const ByteVector data = page < 111 ? ByteVector(image.begin() + page * 64, image.begin() + page * 64 + 64)
                                           : ByteVector(64, 0xFF);
        out.push_back(ToHex(data));
    }
    out.emplace_back("06 55 AA");
    out.emplace_back("04 55 AA");
    return out;
}

class UpdateWindowTest : public PanelFixture {
protected:
    // The simulated boot loader gives up a half-received command after a
    // quiet spell; between a header's reply and its data block the panel's
    // thread may be held up for longer than the default 50 ms on a loaded
    // machine (sanitizer builds), which is no fault of the panel.
    static sim::SimOptions Tolerant()
    {
        sim::SimOptions options;
        options.idleMs = 500;
        return options;
    }

    void SetUp() override
    {
        PanelFixture::SetUp();
        image_ = MakeImage(7);
        ASSERT_TRUE(firmware::SetForRun(image_));
    }
    void TearDown() override
    {
        PanelFixture::TearDown();
        firmware::ResetForRun();
    }

    // A window that is not shown does not connect by itself.
    void BuildServiceWindow()
    {
        BuildWindow();
        w_->SetServiceMode(true);
    }

    bool Asked(const QString& text) const
    {
        return std::any_of(dialogs_->asked.begin(), dialogs_->asked.end(),
                           [&](const ScriptedDialogs::Asked& a) { return a.text == text; });
    }
    testing::AssertionResult WaitForFinish(int timeoutMs = 20000)
    {
        if (WaitFor([&] { return Asked(QString::fromLatin1(kUpdateOk)) && w_->Comm == nullptr; }, timeoutMs)) {
            return testing::AssertionSuccess();
        }
        auto failure = testing::AssertionFailure() << "no finish; the device received " << device_->ReceivedCount()
                                                   << " commands, garbled bytes " << device_->GarbledBytes()
                                                   << ", updater state "
                                                   << (w_->Updater() ? w_->Updater()->GetState() : -1) << "; asked:";
        for (const auto& a : dialogs_->asked) {
            failure << " [" << a.kind.toStdString() << ": " << a.text.toStdString() << "]";
        }
        return failure;
    }
    std::vector<std::string> Received() const
    {
        std::vector<std::string> out;
        for (const auto& f : device_->Received()) {
            out.push_back(ToHex(f));
        }
        return out;
    }
    void ExpectFlashHoldsImage()
    {
        const sim::Flash flash = device_->FlashContents();
        EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin())) << "pages 0..110 differ";
        EXPECT_TRUE(std::all_of(flash.begin() + 111 * 64, flash.end(), [](std::uint8_t b) { return b == 0xFF; }))
            << "page 111 is not erased-flash 0xFF";
    }
    void ExpectEndedDisconnected()
    {
        EXPECT_EQ(w_->Comm, nullptr);
        EXPECT_FALSE(w_->UpdateMode);
        EXPECT_FALSE(w_->sbMain->SimplePanel()) << "the status bar stays in update mode";
        EXPECT_EQ(Status(0), QStringLiteral("disconnect"));
        EXPECT_EQ(w_->suiProgressBar1->value(), 0);
        EXPECT_TRUE(w_->btnConnect->isEnabled());
    }

    ByteVector image_;
};

// At the real speeds: the reset frame at 9600, then the boot loader at
// 115200. The simulator throws away bytes heard at the wrong speed.
TEST_F(UpdateWindowTest, WholeUpdateFromTheRegularFirmware)
{
    sim::SimOptions options = Tolerant();
    options.wireSpeed = true;
    StartDevice(options);
    BuildServiceWindow();

    QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 1; }, 3000));
    EXPECT_EQ(Received().front(), kIapReset);
    EXPECT_TRUE(w_->UpdateMode);
    EXPECT_TRUE(w_->Comm->PollSuspended());
    EXPECT_EQ(Status(0), QStringLiteral("COM1 connected"));

    ASSERT_TRUE(WaitForFinish());
    std::vector<std::string> expected = {kIapReset, "01"};
    const auto rest = WholeConversation(image_);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(Received(), expected);
    EXPECT_EQ(device_->GarbledBytes(), 0u);
    EXPECT_FALSE(device_->InBootLoader());
    ExpectFlashHoldsImage();
    ExpectEndedDisconnected();
    // Only the framed reset is logged; no reply, no raw command.
    ASSERT_EQ(LogLines().size(), 1);
    EXPECT_TRUE(LogLines().front().startsWith(QStringLiteral("-> [08]"))) << LogLines().front().toStdString();
    EXPECT_EQ(w_->Updater()->GetState(), 5);
}

// Cut off at every stage of the boot loader's conversation: the connection
// error is answered Abort, and Update2 finishes against the waiting boot loader.
TEST_F(UpdateWindowTest, InterruptedUpdateFinishedWithUpdate2)
{
    struct Cut {
        const char* name;
        std::size_t received;  // commands the device has when it vanishes
    };
    // 01, 05 55 AA, 112 erases; then header and data per page; 06, 04.
    const Cut cuts[] = {
        {"mid-erase", 2 + 56},
        {"between a page's header and its data", 2 + 112 + 2 * 40 + 1},
        {"before the last page", 2 + 112 + 2 * 111},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.name);
        sim::SimOptions options = Tolerant();
        options.bootLoader = true;
        options.wireSpeed = true;  // slow enough to cut where intended
        StartDevice(options);
        BuildServiceWindow();
        // A boot loader cut off while awaiting a data block takes the next
        // start byte as data and stays silent; the silence restarts the
        // update. Shortened so that the test does not wait 8 s for it, but
        // longer than the boot loader's quiet spell, or each new start byte
        // would land in the previous one's half command.
        w_->Device().SetSilenceLimitMs(2000);
        dialogs_->answers.push_back(TDialogs::Answer::Abort);

        QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= cut.received; }, 10000));
        device_->Vanish();
        ASSERT_TRUE(WaitFor([&] { return w_->Comm == nullptr; }, 5000));
        EXPECT_FALSE(w_->UpdateMode);
        ASSERT_FALSE(dialogs_->asked.empty());
        EXPECT_EQ(dialogs_->asked.back().text, QStringLiteral("KESTRA connection error!"));
        EXPECT_TRUE(device_->InBootLoader());

        ASSERT_FALSE(device_->Reappear().empty());
        QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
        ASSERT_TRUE(WaitForFinish());
        ExpectFlashHoldsImage();
        ExpectEndedDisconnected();
    }
}

// Closing the window while an update runs: the line is closed at once, no
// pending step opens it again, nothing more goes out, the settings are saved.
TEST_F(UpdateWindowTest, ClosingTheWindowMidUpdateExitsPromptlyAndSaves)
{
    struct Stage {
        const char* name;
        std::function<bool(const sim::KestraSim&)> reached;
    };
    const Stage stages[] = {
        // The reset was acknowledged; the panel waits before changing speed.
        {"restart wait", [](const sim::KestraSim& d) { return d.InBootLoader(); }},
        {"erase", [](const sim::KestraSim& d) { return d.ReceivedCount() >= 1 + 2 + 30; }},
        {"programming", [](const sim::KestraSim& d) { return d.ReceivedCount() >= 1 + 2 + 112 + 41; }},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        QFile::remove(settingsFile_);
        sim::SimOptions options = Tolerant();
        options.wireSpeed = true;
        StartDevice(options);
        BuildServiceWindow();
        QTest::mouseClick(w_->btnUpdate, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return stage.reached(*device_); }, 10000));

        QElapsedTimer closing;
        closing.start();
        w_->close();
        EXPECT_LT(closing.elapsed(), 2000);
        EXPECT_EQ(w_->Comm, nullptr);
        EXPECT_FALSE(w_->UpdateMode);
        const std::size_t sent = device_->ReceivedCount();
        // Longer than the restart wait: its step must find the line closed.
        QTest::qWait(2 * LUpdate::kSpeedChangeDelayMs);
        EXPECT_EQ(w_->Comm, nullptr);
        EXPECT_EQ(device_->ReceivedCount(), sent);
        EXPECT_TRUE(dialogs_->asked.empty()) << dialogs_->asked.front().text.toStdString();
        EXPECT_EQ(StoredInt("Port No"), 1);
        closing.restart();
        w_.reset();
        EXPECT_LT(closing.elapsed(), 2000);
        // The device, cut off, still waits in its boot loader for Update2.
        EXPECT_TRUE(device_->InBootLoader());
    }
}

TEST_F(UpdateWindowTest, ServiceModeShowsTheUpdateControls)
{
    StartDevice();
    BuildWindow();
    EXPECT_TRUE(w_->btnUpdate->isHidden());
    EXPECT_TRUE(w_->btnUpdate2->isHidden());
    EXPECT_TRUE(w_->suiProgressBar1->isHidden());
    w_->SetServiceMode(true);
    EXPECT_FALSE(w_->btnUpdate->isHidden());
    EXPECT_FALSE(w_->btnUpdate2->isHidden());
    EXPECT_FALSE(w_->suiProgressBar1->isHidden());
}

// Ignore on a connection error mid-update drops the line but leaves the
// update-mode flag; a later regular connection must not feed the updater.
TEST_F(UpdateWindowTest, RegularConnectionAfterAnIgnoredErrorIsNotAnUpdate)
{
    sim::SimOptions options = Tolerant();
    options.bootLoader = true;
    options.wireSpeed = true;
    StartDevice(options);
    BuildServiceWindow();
    dialogs_->answers.push_back(TDialogs::Answer::Ignore);
    QTest::mouseClick(w_->btnUpdate2, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 20; }, 5000));
    device_->Vanish();
    ASSERT_TRUE(WaitFor([&] { return w_->Comm == nullptr; }, 5000));
    EXPECT_TRUE(w_->UpdateMode);

    device_.reset();
    sim::SimOptions regular = Tolerant();
    regular.linkPath = linkPath_;
    device_ = std::make_unique<sim::KestraSim>(regular);
    ASSERT_FALSE(device_->Start().empty());
    QTest::mouseClick(w_->btnConnect, Qt::LeftButton);
    ASSERT_NE(w_->Comm, nullptr);
    EXPECT_FALSE(w_->UpdateMode);
    EXPECT_FALSE(w_->sbMain->SimplePanel());
    ASSERT_TRUE(WaitFor([&] { return device_->ReceivedCount() >= 50; }, 10000));
    // Replies reached the dispatcher and the log, not the updater.
    EXPECT_TRUE(WaitFor([&] { return LogLines().filter(QStringLiteral("<- ")).size() >= 40; }, 5000));
}

TEST_F(UpdateWindowTest, EitherButtonWhileConnectedOnlyComplains)
{
    for (bool second : {false, true}) {
        SCOPED_TRACE(second ? "btnUpdate2" : "btnUpdate");
        ShowAndConnect();
        w_->SetServiceMode(true);
        dialogs_->asked.clear();
        ClearReceived();
        const QStringList logBefore = LogLines();

        QTest::mouseClick(second ? w_->btnUpdate2 : w_->btnUpdate, Qt::LeftButton);
        ASSERT_EQ(dialogs_->asked.size(), 1u);
        EXPECT_EQ(dialogs_->asked[0].kind, QStringLiteral("Information"));
        EXPECT_EQ(dialogs_->asked[0].text, QStringLiteral("You must be disconnect first!!"));
        Settle();
        EXPECT_TRUE(ReceivedHex().empty());
        EXPECT_FALSE(w_->UpdateMode);
        EXPECT_FALSE(w_->Comm->PollSuspended());
        EXPECT_EQ(LogLines(), logBefore);
        w_->close();
        w_.reset();
    }
}

TEST_F(UpdateWindowTest, NoImageSaysSoAndSendsNothing)
{
    ASSERT_TRUE(firmware::SetForRun({}));
    sim::SimOptions options = Tolerant();
    options.bootLoader = true;
    StartDevice(options);
    BuildServiceWindow();
    for (QPushButton* button : {w_->btnUpdate, w_->btnUpdate2}) {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(w_->Comm, nullptr);
        EXPECT_FALSE(w_->UpdateMode);
    }
    ASSERT_EQ(dialogs_->asked.size(), 2u);
    EXPECT_TRUE(dialogs_->asked[0].text.startsWith(QStringLiteral("No firmware image")));
    EXPECT_FALSE(WaitFor([&] { return device_->ReceivedCount() > 0; }, 300));
}

}  // namespace
