#include "PanelFixture.h"

#include "Connection.h"
#include "Fmsg.h"
#include "Hex.h"
#include "LCommProc.h"
#include "Lcomm.h"
#include "StatusBar.h"
#include "WaitFor.h"

#include <QSettings>
#include <QThreadPool>
#include <QTest>

#include <algorithm>

TDialogs::Answer ScriptedDialogs::Ask(Asked question, Answer fallback)
{
    asked.push_back(std::move(question));
    if (whileOpen) {
        whileOpen();
    }
    if (answers.empty()) {
        return fallback;
    }
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

void PanelFixture::SetUp()
{
    ASSERT_TRUE(dir_.isValid());
    settingsFile_ = dir_.filePath(QStringLiteral("settings.ini"));
    linkPath_ = dir_.filePath(QStringLiteral("kestra-port")).toStdString();
    TfrmMain::ResetSwitchOnSelection();
}

void PanelFixture::StartDevice(sim::SimOptions options)
{
    w_.reset();
    device_.reset();
    if (options.linkPath.empty()) {
        options.linkPath = linkPath_;
    }
    device_ = std::make_unique<sim::KestraSim>(options);
    const std::string path = device_->Start();
    ASSERT_FALSE(path.empty());
    LComm::SetPortOverride(QString::fromStdString(path));
}

void PanelFixture::BuildWindow()
{
    w_ = std::make_unique<TfrmMain>();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    w_->SetDialogs(std::move(dialogs));
    w_->SetSettingsStore(std::make_unique<SettingsStore>(settingsFile_));
}

void PanelFixture::Show()
{
    w_->show();
    w_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
}

void PanelFixture::TearDown()
{
    QThreadPool::globalInstance()->waitForDone();  // no port listing or search outlives its ports
    if (w_) {
        w_->close();
    }
    w_.reset();
    device_.reset();
    LComm::SetPortOverride(QStringLiteral("/dev/kestra-test-no-such-port"));
}

void PanelFixture::ShowAndConnect()
{
    if (!device_) {
        StartDevice();
    }
    if (!w_) {
        BuildWindow();
    }
    ASSERT_NO_FATAL_FAILURE(Show());
    ASSERT_TRUE(w_->Device().Line() != nullptr) << "the panel did not connect";
    // The whole state read (the 49, and what the device left unreported
    // asked again), then the line idle.
    ASSERT_TRUE(WaitFor([&] { return w_->Device().StateRead(); }, 15000));
    Settle();
}

void PanelFixture::Settle()
{
    // A poll that the device receives after this point was sent while the
    // driver was idle with an empty queue: everything before it is answered
    // and handled.
    const auto before = static_cast<std::ptrdiff_t>(device_->ReceivedCount());
    ASSERT_TRUE(WaitFor([&] {
        const auto frames = device_->Received();
        return std::find(frames.begin() + std::min(before, std::ssize(frames)), frames.end(), LCommProc::PollFrame())
               != frames.end();
    }, 5000));
}

std::vector<std::string> PanelFixture::ReceivedHex() const
{
    std::vector<std::string> out;
    for (const auto& f : device_->Received()) {
        if (f != LCommProc::PollFrame()) {
            out.push_back(ToHex(f));
        }
    }
    return out;
}

QStringList PanelFixture::LogLines() const { return w_->frmMsg->Lines(); }

std::optional<int> PanelFixture::StoredInt(const QString& key) const
{
    const QSettings stored(settingsFile_, QSettings::IniFormat);
    bool ok = false;
    const int value = stored.value(key).toInt(&ok);
    return stored.contains(key) && ok ? std::optional<int>(value) : std::nullopt;
}

QString PanelFixture::Status(int panel) const { return w_->sbMain->PanelText(panel); }

void PanelFixture::Focus(QWidget* widget)
{
    widget->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(WaitFor([&] { return widget->hasFocus(); }, 2000));
}
