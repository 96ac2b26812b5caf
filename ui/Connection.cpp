#include "Connection.h"

#include "CommEvents.h"
#include "Commands.h"
#include "DeliverReply.h"
#include "Dialogs.h"
#include "Dispatcher.h"
#include "Fmain.h"
#include "FullState.h"
#include "LCommProc.h"
#include "Language.h"
#include "Reports.h"

#include <QPushButton>
#include <QTimer>

#include <utility>

namespace {
constexpr int kBaud = 9600;
constexpr int kDataBits = 8;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kIdConnected = 30117;
constexpr int kIdDisconnected = 30116;
constexpr int kIdErrorCaption = 30114;
constexpr int kIdConnectionError = 30119;
}  // namespace

DeviceConnection::DeviceConnection(TfrmMain& window, TDialogs& dialogs, LogFn log)
    : w_(window), dialogs_(dialogs), log_(std::move(log)), tmMsg_(new QTimer(this)),
      silenceLimitMs_(LComm::kSilenceLimitMs)
{
    dispatcher_ = std::make_unique<ReportDispatcher>(
        w_, [this](const LCmd& c, std::uint8_t flag) { SendCommand(c, flag); },
        [this](const QString& text) { ShowDeviceMessage(text); });
    tmMsg_->setSingleShot(true);
    tmMsg_->setInterval(kMessageHoldMs);
    connect(tmMsg_, &QTimer::timeout, this, [this] {
        deviceMessage_.clear();
        w_.ShowMessage(QString());
    });
}

DeviceConnection::~DeviceConnection()
{
    DropConnection();
    DropOpening();
}

void DeviceConnection::DropOpening()
{
    if (opening_ != nullptr) {
        // Returns at once even while a network port is still being reached.
        LCommProc* comm = std::exchange(opening_, nullptr);
        comm->Close();
        delete comm;
    }
    openedThen_ = nullptr;
}

LCommProc* DeviceConnection::NewDriver()
{
    auto* comm = new LCommProc(&w_);
    comm->SetSilenceLimitMs(silenceLimitMs_);
    comm->SetPortName(w_.PortName);
    return comm;
}

void DeviceConnection::ConnectInBackground(std::function<void(bool connected)> then)
{
    if (w_.Comm != nullptr || opening_ != nullptr) {
        return;
    }
    opening_ = NewDriver();
    openedThen_ = std::move(then);
    opening_->OpenInBackground(w_.PortNo, kBaud, kDataBits, kNoParity, kOneStopBit);
}

void DeviceConnection::OnOpened(const OpenedEvent& opened)
{
    if (opening_ == nullptr || opened.DriverId() != opening_->Id()) {
        return;
    }
    LCommProc* comm = std::exchange(opening_, nullptr);
    auto then = std::move(openedThen_);
    openedThen_ = nullptr;
    if (w_.Comm != nullptr) {
        // The user connected meanwhile: that connection stands.
        comm->Close();
        delete comm;
        return;
    }
    EndUpdateMode();
    w_.ShowMessage(QString());
    Opened(comm, opened.Ok(), opened.Error());
    if (then) {
        then(w_.Comm != nullptr);
    }
}

bool DeviceConnection::HandleEvent(QEvent* e)
{
    if (DeliverReply(e, [this] { return w_.Comm; }, [this](const RecCompleteEvent& r) { OnRecComplete(r); })) {
        return true;
    }
    if (e->type() == kCommErrEvent) {
        OnCommErr(*static_cast<CommErrEvent*>(e));
        return true;
    }
    if (e->type() == kOpenedEvent) {
        OnOpened(*static_cast<OpenedEvent*>(e));
        return true;
    }
    return false;
}

QString DeviceConnection::ConnectedText() const
{
    return QStringLiteral("%1 %2").arg(w_.ConnectionName(), LoadStr(kIdConnected));
}

void DeviceConnection::DropConnection()
{
    if (w_.Comm != nullptr) {
        LCommProc* comm = w_.Comm;
        w_.Comm = nullptr;
        comm->Close();
        delete comm;
    }
}

void DeviceConnection::Connect()
{
    if (w_.Comm != nullptr) {
        return;
    }
    // An update whose connection was dropped (Ignore on a serial error)
    // leaves the flag set; the device's replies to a regular connection must
    // not drive the updater.
    EndUpdateMode();
    w_.ShowMessage(QString());
    LCommProc* comm = NewDriver();
    const bool ok = comm->Open(w_.PortNo, kBaud, kDataBits, kNoParity, kOneStopBit);
    Opened(comm, ok, comm->LastOpenError());
}

void DeviceConnection::Opened(LCommProc* comm, bool ok, const QString& why)
{
    w_.Comm = comm;
    if (ok) {
        w_.btnConnect->setEnabled(false);
        w_.btnDisconnect->setEnabled(true);
        w_.Comm->SetPollSuspended(false);
        w_.ShowConnectionState(ConnectedText());
        w_.EnablePanelControls();
        // Enabling every button enabled "connect" too; while connected it
        // would do nothing, so it stays off.
        w_.btnConnect->setEnabled(false);
        RequestFullState();
    } else {
        w_.btnConnect->setEnabled(true);
        w_.btnDisconnect->setEnabled(false);
        // Why it failed (no permission, in use, host unknown, ...) stays
        // readable where the connection's messages go.
        w_.ShowConnectionState(LoadStr(kIdDisconnected));
        Disconnect();
        w_.ShowMessage(why);
    }
}

bool DeviceConnection::OpenForUpdate(int baudRate)
{
    if (w_.Comm != nullptr) {
        return false;
    }
    w_.Comm = new LCommProc(&w_);
    w_.Comm->SetSilenceLimitMs(silenceLimitMs_);
    w_.Comm->SetPortName(w_.PortName);
    // Suspended before opening, so that not even a first poll reaches the
    // boot loader.
    w_.Comm->SetPollSuspended(true);
    if (!w_.Comm->Open(w_.PortNo, baudRate, kDataBits, kNoParity, kOneStopBit)) {
        DropConnection();
        return false;
    }
    w_.ShowConnectionState(ConnectedText());
    return true;
}

void DeviceConnection::Disconnect()
{
    DropConnection();
    DropOpening();
    w_.ShowConnectionState(LoadStr(kIdDisconnected));
    w_.ShowMessage(QString());
    w_.btnDisconnect->setEnabled(false);
    w_.btnConnect->setEnabled(true);
    EndUpdateMode();
    w_.DisablePanelControls();
}

void DeviceConnection::EndUpdateMode()
{
    const bool wasUpdating = w_.UpdateMode;
    w_.UpdateMode = false;
    if (wasUpdating && update_.ended) {
        update_.ended();
    }
}

void DeviceConnection::SendCommand(const LCmd& command, std::uint8_t senderFlag)
{
    if (w_.Comm == nullptr) {
        return;
    }
    w_.Comm->Send(command.MakeFrame(frame::kModeFramed), senderFlag != 0);
    log_(command, Direction::Sent, 0);
}

void DeviceConnection::SendUnlogged(const LCmd& command, std::uint8_t senderFlag, std::uint8_t buildMode)
{
    if (w_.Comm == nullptr) {
        return;
    }
    // Raw bytes are collected raw even when they happen to look like a frame.
    w_.Comm->Send(command.MakeFrame(buildMode), senderFlag != 0,
                  buildMode == frame::kModeRaw ? frame::kModeRaw : frame::kModeFramed);
}

void DeviceConnection::RequestFullState()
{
    for (const LCmd& inquiry : FullStateInquiries()) {
        SendCommand(inquiry, 1);
    }
}

bool DeviceConnection::RestartUpdateAtBootLoaderSpeed()
{
    bool ok = SetConnectionBaudRate(kBootLoaderBaud);
    if (!ok && w_.Comm != nullptr && !w_.Comm->IsOpen()) {
        // The driver closes its port when its reader ends on an error, so
        // changing the speed alone would leave the update stuck: reopen.
        w_.Comm->SetPollSuspended(true);
        ok = w_.Comm->Open(w_.PortNo, kBootLoaderBaud, kDataBits, kNoParity, kOneStopBit);
    }
    if (ok) {
        SendUnlogged(CM_MCS_START(0x01), 1, frame::kModeRaw);
    }
    return ok;
}

bool DeviceConnection::SetConnectionBaudRate(int rate)
{
    return w_.Comm != nullptr && w_.Comm->SetBaudRate(rate);
}

void DeviceConnection::ShowDeviceMessage(const QString& text)
{
    deviceMessage_ = text;
    tmMsg_->start();
    if (!text.isEmpty()) {
        w_.ShowMessage(text);
    }
}

void DeviceConnection::OnRecComplete(const RecCompleteEvent& reply)
{
    const LCmd frame(reply.Reply());
    if (w_.UpdateMode) {
        bootLoaderTries_ = 0;  // something answers
        // The updater owns the line: in raw mode the sub byte is the byte.
        if (update_.reply) {
            update_.reply(frame.Sub(), frame.Payload());
        }
        return;
    }
    QString replyText;
    if (frame.Sub() == sub::kAck) {
        replyText = QString::fromLatin1(kAckText);
    } else if (frame.Sub() == sub::kNak) {
        replyText = QString::fromLatin1(kNakText);
    } else {
        dispatcher_->DispatchReport(frame, replyText);
    }
    // A device message stays readable for its hold time; the polls' replies
    // would otherwise replace it within 100 ms.
    if (deviceMessage_.isEmpty()) {
        w_.ShowMessage(QStringLiteral("%1(%2)").arg(replyText).arg(static_cast<qint32>(reply.ReplyTimeMs())));
    }
    log_(frame, Direction::Received, reply.ReplyTimeMs());
}

void DeviceConnection::OnCommErr(const CommErrEvent& error)
{
    // An error of a driver that has since been replaced by a working one says
    // nothing about the current connection.
    if (w_.Comm != nullptr && w_.Comm->Id() != error.DriverId()) {
        return;
    }
    if (w_.UpdateMode && update_.state && update_.state() == 0) {
        // Nothing answered the start at this speed: the device may already
        // wait in its boot loader. Try it there, without bothering the user,
        // but only a few times: a device that never answers must not keep
        // the line busy unseen. Then the user hears of it and the line is
        // closed, free for Update2 or a new connection.
        if (++bootLoaderTries_ > kBootLoaderTries) {
            Disconnect();
            dialogs_.Error(&w_, QStringLiteral("Error Recommand !!"));
            return;
        }
        RestartUpdateAtBootLoaderSpeed();
        if (update_.setState) {
            update_.setState(0);
        }
        return;
    }
    if (w_.HandleLinkLost(error.Code())) {
        return;
    }
    const TDialogs::Answer answer =
        dialogs_.AbortRetryIgnore(&w_, LoadStr(kIdErrorCaption), LoadStr(kIdConnectionError));
    switch (answer) {
    case TDialogs::Answer::Retry:
        DropConnection();
        Connect();
        break;
    case TDialogs::Answer::Abort:
        Disconnect();
        break;
    default:  // Ignore: status and controls stay as they are
        DropConnection();
        break;
    }
}
