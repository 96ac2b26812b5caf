#include "Connection.h"

#include "CommEvents.h"
#include "DeviceConversation.h"
#include "Commands.h"
#include "Dialogs.h"
#include "ConnectionView.h"
#include "FullState.h"
#include "LCommProc.h"
#include "Language.h"
#include "PortName.h"
#include "Reports.h"

#include <QTimer>

#include <utility>

namespace {
constexpr int kIdConnected = 30117;
constexpr int kIdDisconnected = 30116;
constexpr int kIdErrorCaption = 30114;
constexpr int kIdConnectionError = 30119;
constexpr int kIdSimulated = 30133;
}  // namespace

DeviceConnection::DeviceConnection(ConnectionView& view, TDialogs& dialogs, LogFn log)
    : view_(view), dialogs_(&dialogs), log_(std::move(log)), tmMsg_(new QTimer(this)),
      silenceLimitMs_(LComm::kSilenceLimitMs)
{
    tmMsg_->setSingleShot(true);
    tmMsg_->setInterval(kMessageHoldMs);
    connect(tmMsg_, &QTimer::timeout, this, [this] {
        deviceMessage_.clear();
        view_.ShowMessage(QString());
    });
}

QString DeviceConnection::ConnectionName() const
{
    return simulated_ ? LoadStr(kIdSimulated) : port_.Label();
}

DeviceConnection::~DeviceConnection()
{
    DropConnection();
    DropOpening();
}

void DeviceConnection::DropOpening()
{
    if (opening_) {
        // Returns at once even while a network port is still being reached.
        opening_ = false;
        engine_.reset();
    }
    openedThen_ = nullptr;
}

std::unique_ptr<DeviceConversation> DeviceConnection::NewEngine(int reopenMs)
{
    DeviceConversation::Options o;
    // The window's rules: one deadline, the silence limit, then the user
    // decides (no retries; reopening only while waiting for the port to
    // come back); the window reads the whole state itself after connecting.
    o.exchangeMs = silenceLimitMs_;
    o.silenceLimitMs = silenceLimitMs_;
    o.retries = 0;
    o.reopenMs = reopenMs;
    o.readOnOpen = false;
    auto engine = std::make_unique<DeviceConversation>(ConnectionName(), o);
    DeviceConversation* e = engine.get();
    // Queued news of an engine since replaced is dropped: a new engine may
    // even stand at the old one's address, so each has a number.
    const quint64 n = ++engines_;
    const auto current = [this, n] { return engine_ && engines_ == n; };
    connect(e, &DeviceConversation::reportReceived, this,
            [this, e](const LCmd& frame, const ReportEvent& report, quint32 replyMs, bool) {
                // Bytes left on the line from before the port was opened are no report.
                if (e->IsOpen()) {
                    OnReport(frame, report, replyMs);
                }
            });
    // A frame is logged when it goes on the line (a change replaced while
    // waiting never does); the polls are not logged.
    connect(e, &DeviceConversation::frameSent, this, [this](const LCmd& frame, bool poll) {
        if (!poll) {
            log_(frame, Direction::Sent, 0);
        }
    });
    // The driver is gone with the line: nothing may reach it before the
    // queued news below is handled.
    connect(e, &DeviceConversation::lineLost, this, [this, current] {
        if (current()) {
            line_ = nullptr;
        }
    });
    // These three are handled once the engine has finished with the news:
    // the window may drop the engine in answer.
    connect(e, &DeviceConversation::opened, this, [this, current] {
        if (opening_ && current()) {
            opening_ = false;
            // Reopening was for getting the port; once connected, a failed
            // line is the user's to decide (the connection-error box).
            engine_->SetReopenMs(-1);
            Opened(true, QString());
        }
    }, Qt::QueuedConnection);
    connect(e, &DeviceConversation::openFailed, this, [this, current, reopenMs](const SessionError& why) {
        if (!opening_ || !current()) {
            return;
        }
        if (reopenMs < 0) {
            Opened(false, why.text);
        } else if (openedThen_) {
            view_.ShowMessage(why.text);
            openedThen_(false);  // the engine tries again by itself
        }
    }, Qt::QueuedConnection);
    connect(e, &DeviceConversation::lineLost, this, [this, current](const SessionError& why) {
        if (current()) {
            OnLineLost(why);
        }
    }, Qt::QueuedConnection);
    return engine;
}

void DeviceConnection::ConnectInBackground(std::function<void(bool connected)> then, int retryMs)
{
    if (line_ != nullptr || opening_) {
        return;
    }
    engine_ = NewEngine(retryMs);
    opening_ = true;
    openedThen_ = std::move(then);
    engine_->Open();
}

QString DeviceConnection::ConnectedText() const
{
    return QStringLiteral("%1 %2").arg(ConnectionName(), LoadStr(kIdConnected));
}

void DeviceConnection::DropConnection()
{
    line_ = nullptr;
    if (engine_ && !opening_) {
        engine_.reset();  // closes its line
    }
}

void DeviceConnection::Connect()
{
    if (line_ != nullptr) {
        return;
    }
    DropOpening();
    view_.ShowMessage(QString());
    engine_ = NewEngine();
    QString why;
    const QMetaObject::Connection heard =
        connect(engine_.get(), &DeviceConversation::openFailed, this, [&why](const SessionError& e) { why = e.text; });
    const bool ok = engine_->Open(true);
    disconnect(heard);
    Opened(ok, why);
}

void DeviceConnection::Opened(bool ok, const QString& why)
{
    auto then = std::move(openedThen_);
    openedThen_ = nullptr;
    if (ok) {
        line_ = engine_->Line();
        view_.ShowMessage(QString());
        view_.ConnectionChanged(true);
        view_.ShowConnectionState(ConnectedText());
        // "connected" says only that the port opened: until the device
        // answers, say that it has not.
        const QString name = engine_->PortName();
        const QString path = comm::ResolvePortName(0, name);
        view_.ShowLineNote(QStringLiteral("no answer from the KESTRA on %1 yet")
                         .arg(path == name ? name : QStringLiteral("%1 (%2)").arg(ConnectionName(), path)));
        RequestFullState();
    } else {
        opening_ = false;
        engine_.reset();
        // Why it failed (no permission, in use, host unknown, ...) stays
        // readable where the connection's messages go.
        view_.ShowConnectionState(LoadStr(kIdDisconnected));
        Disconnect();
        view_.ShowMessage(why);
    }
    if (then) {
        then(line_ != nullptr);
    }
}

void DeviceConnection::Disconnect()
{
    DropConnection();
    DropOpening();
    view_.ShowLineNote(QString());
    view_.ShowConnectionState(LoadStr(kIdDisconnected));
    view_.ShowMessage(QString());
    view_.ConnectionChanged(false);
}

void DeviceConnection::SendCommand(const LCmd& command, std::uint8_t senderFlag)
{
    if (line_ == nullptr) {
        return;
    }
    if (submitted_) {
        submitted_(command);
    }
    if (command.Sub() == sub::kInquiry || command.Sub() == sub::kInquiryDx) {
        engine_->Inquire(InquiryOf(command));
    } else if (const auto change = ChangeOf(command)) {
        // A control's change (flag 0) replaces the same control's change
        // still waiting; an appended one (a source or switch-on choice) goes
        // out as often as it was made.
        engine_->Change(*change, [this](const SessionError& e, const ReportEvent&) { TellOutcome(e); }, false,
                        senderFlag == 0);
    } else {
        // Preset load and save, factory default: a change made after one
        // never overtakes it.
        engine_->Command(command, false, [this](const SessionError& e, const ReportEvent&) { TellOutcome(e); });
    }
}

void DeviceConnection::TellOutcome(const SessionError& e)
{
    // Refusals already speak through the device's own busy and error texts,
    // NAK through "-NAK-"; what only the engine knows is said here.
    switch (e.kind) {
    case SessionError::Kind::Differs:
    case SessionError::Kind::Acknowledged:
    case SessionError::Kind::Incomplete:
        ShowDeviceMessage(e.text);
        break;
    default:
        break;
    }
}

void DeviceConnection::RequestFullState()
{
    if (line_ == nullptr) {
        return;
    }
    // Complete once every item was reported (items missing are asked for again).
    engine_->ReadAll([this](const SessionError& e, const ReportEvent&) { TellOutcome(e); });
}

bool DeviceConnection::StateRead() const
{
    return engine_ && !opening_ && engine_->State().AllKnown() && !engine_->Reading();
}

void DeviceConnection::ShowDeviceMessage(const QString& text)
{
    deviceMessage_ = text;
    tmMsg_->start();
    if (!text.isEmpty()) {
        view_.ShowMessage(text);
    }
}

void DeviceConnection::OnRecComplete(const RecCompleteEvent& reply)
{
    const LCmd frame(reply.Reply());
    OnReport(frame, DecodeReport(frame), reply.ReplyTimeMs());
}

void DeviceConnection::OnReport(const LCmd& frame, const ReportEvent& report, quint32 replyTime)
{
    view_.ShowLineNote(QString());  // it answers
    QString replyText;
    if (report.kind == ReportKind::Ack) {
        replyText = QString::fromLatin1(kAckText);
    } else if (report.kind == ReportKind::Nak) {
        replyText = QString::fromLatin1(kNakText);
    } else {
        view_.ShowReport(report, replyText);
    }
    // A device message stays readable for its hold time; the polls' replies
    // would otherwise replace it within 100 ms.
    if (deviceMessage_.isEmpty()) {
        view_.ShowMessage(QStringLiteral("%1(%2)").arg(replyText).arg(static_cast<qint32>(replyTime)));
    }
    log_(frame, Direction::Received, replyTime);
}

void DeviceConnection::OnLineLost(const SessionError& why)
{
    // The engine has closed its line; why stays readable beside the box.
    line_ = nullptr;
    view_.ShowLineNote(why.text);
    AskAfterFailure(why.kind == SessionError::Kind::Silence ? kErrSilence : why.code);
}

void DeviceConnection::AskAfterFailure(int code)
{
    if (view_.HandleLinkLost(code)) {
        return;
    }
    const TDialogs::Answer answer =
        dialogs_->AbortRetryIgnore(&view_.Host(), LoadStr(kIdErrorCaption), LoadStr(kIdConnectionError));
    switch (answer) {
    case TDialogs::Answer::Retry:
        // Opened on the reader thread: a network port may take seconds to
        // answer, and the window stays responsive meanwhile.
        DropConnection();
        ConnectInBackground(nullptr);
        break;
    case TDialogs::Answer::Abort:
        Disconnect();
        break;
    default:  // Ignore: status and controls stay as they are
        DropConnection();
        break;
    }
}
