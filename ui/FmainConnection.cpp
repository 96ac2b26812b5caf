// The window's side of the connection: routing the driver's events, the COM
// tab's buttons, start-up and shut-down with the settings, and the message
// window that docks to the right edge.
#include "Fmain.h"

#include "Connection.h"
#include "Dispatcher.h"
#include "Dialogs.h"
#include "Fmsg.h"
#include "Language.h"
#include "PortChoice.h"
#include "Settings.h"
#include "StatusBar.h"
#include "TrafficLog.h"
#include "AutoReconnect.h"
#include "WindowAdditions.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>

#include "RadioGroup.h"

namespace {
// The status panel that says why the line is quiet (the first two are the
// connection state and the last reply).
constexpr int kLinePanel = 2;
}  // namespace

void TfrmMain::SetUpConnection()
{
    frmMsg = new TfrmMsg(this);
    log_ = std::make_unique<TrafficLog>(*frmMsg);
    dialogs_ = std::make_unique<QtDialogs>();
    MakeDeviceConnection();
    connect(btnConnect, &QPushButton::clicked, this, &TfrmMain::btnConnectClick);
    connect(btnDisconnect, &QPushButton::clicked, this, &TfrmMain::btnDisconnectClick);
    connect(btnViewmessages, &QPushButton::clicked, this, &TfrmMain::btnViewmessagesClick);
    connect(Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);
    portChoice_ = new PortChoice(
        device_->Port(), cbCOM,
        [this](const QString& why) {
            ShowMessage(why);
            LogReason(why);
        },
        [this] {
            ShowMessage(QString());  // a corrected entry takes the complaint away
            SavePortChoice();
        });
    connect(cbCOM, &QComboBox::activated, this, [this](int) { cbCOMChange(); });
    connect(frmMsg, &TfrmMsg::shown, this, [this] { LogWindowShown = true; });
    connect(frmMsg, &TfrmMsg::closed, this, [this] { LogWindowShown = false; });
}

void TfrmMain::SetDialogs(std::unique_ptr<TDialogs> dialogs)
{
    // The connection asks the dialogs in use: nothing open may ask the old ones.
    device_->Disconnect();
    device_->SetDialogs(*dialogs);
    dialogs_ = std::move(dialogs);
}

void TfrmMain::MakeDeviceConnection()
{
    dispatcher_ = std::make_unique<ReportDispatcher>(
        *this, [this](const QString& text) { device_->ShowDeviceMessage(text); },
        [this](bool master, bool ganged) { ShowPairGanged(master, ganged, false); });
    ConnectionView& view = *this;
    device_ = std::make_unique<DeviceConnection>(
        view, *dialogs_, [this](const LCmd& f, Direction d, quint32 t) { log_->LogFrame(f, d, t); });
    // The undo history follows what the user asked, when it was asked
    // (the log shows a frame later, when it goes on the line).
    device_->SetSubmitted([this](const LCmd& f) {
        if (additions_) {
            additions_->OnFrame(f, Direction::Sent);
        }
    });
}

void TfrmMain::SetSettingsStore(std::unique_ptr<SettingsStore> store)
{
    settings_ = std::move(store);
}

void TfrmMain::SendCommand(const LCmd& command, std::uint8_t senderFlag)
{
    device_->SendCommand(command, senderFlag);
}

void TfrmMain::RequestFullState()
{
    device_->RequestFullState();
}

void TfrmMain::Connect()
{
    if (UpdateLineOpen()) {
        return;  // the update holds the port
    }
    device_->Connect();
    // Why it failed stands in status panel 1, often cut off there.
    LogReason(Connected() ? QString() : sbMain->PanelText(1));
}

void TfrmMain::SetPortForRun(const QString& name)
{
    portChoice_->SetForRun(name);
}

const QString& TfrmMain::PortForRun() const
{
    return device_->Port().forRun;
}

QString TfrmMain::PortLabel() const
{
    return device_->Port().Label();
}

bool TfrmMain::Connected() const
{
    return device_->Connected() || UpdateLineOpen();
}

void TfrmMain::ConnectionChanged(bool connected)
{
    // A disconnection ends an update, and so does a regular connection: the
    // device's replies must not drive the updater.
    EndUpdate();
    btnDisconnect->setEnabled(connected);
    if (connected) {
        EnablePanelControls();
    } else {
        DisablePanelControls();
    }
    // Enabling every button enabled "connect" too; while connected it would
    // do nothing, so it stays off.
    btnConnect->setEnabled(!connected);
}

void TfrmMain::ShowLineNote(const QString& text)
{
    sbMain->SetPanelText(kLinePanel, text);
}

void TfrmMain::ShowReport(const ReportEvent& report, QString& replyText)
{
    dispatcher_->DispatchReport(report, replyText);
}

void TfrmMain::Disconnect()
{
    device_->Disconnect();
}

void TfrmMain::btnConnectClick()
{
    Connect();
}

void TfrmMain::btnDisconnectClick()
{
    Disconnect();
}

void TfrmMain::FormShow()
{
    PortSetting& port = device_->Port();
    PanelSettings s;
    s.portNo = port.number;
    s.portName = port.name;
    s.language = LanguageFlag();
    Store().LoadOrInitialise(s);
    port.number = s.portNo;
    port.name = s.portName;
    SetLanguageFlag(s.language);
    portChoice_->Start();
    portChoice_->ShowCurrent();
    if (LanguageFlag() == 0) {
        rdgLanguage->SetItemIndex(1);
    } else {
        rdgLanguage->SetItemIndex(0);
        ApplyLanguage();
    }
    additions_->Start();
    Connect();
    additions_->Reconnect().WaitIfMissing();
}

void TfrmMain::FormCloseQuery()
{
    if (settings_) {
        settings_->Save(PanelSettings{device_->Port().number, LanguageFlag(), device_->Port().name});
    }
    if (Connected()) {
        Disconnect();
    }
    if (frmMsg->isVisible()) {
        frmMsg->close();
    }
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept();
}

void TfrmMain::cbCOMChange()
{
    portChoice_->Choose(cbCOM->currentText());
}

void TfrmMain::SavePortChoice()
{
    Store().SavePort(device_->Port().number, device_->Port().name);
}

void TfrmMain::btnViewmessagesClick()
{
    if (!frmMsg->isVisible()) {
        frmMsg->ShowDocked(frameGeometry(), height());
    } else {
        frmMsg->close();
    }
}

void TfrmMain::Button1Click()
{
    frmMsg->Clear();
}

void TfrmMain::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (LogWindowShown) {
        frmMsg->FollowMain(frameGeometry());
    }
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (LogWindowShown) {
        frmMsg->FollowMain(frameGeometry());
    }
}

void TfrmMain::mouseReleaseEvent(QMouseEvent* event)
{
    // A left-button release on the window's own surface pulls the message
    // window back to the edge, shown or not.
    if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr) {
        frmMsg->FollowMain(frameGeometry());
    }
    QWidget::mouseReleaseEvent(event);
}
