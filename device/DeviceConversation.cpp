#include "DeviceConversation.h"

#include "CommEvents.h"
#include "Commands.h"
#include "DeliverReply.h"
#include "EventHandoff.h"
#include "LCommProc.h"
#include "PortName.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {
// Leftovers keep the line from settling at most this many quiet periods.
constexpr int kMaxSettleRounds = 10;
constexpr int kSerialQuietMs = 12;
// A refused inquiry (or a busy device) is asked again after this pause.
constexpr int kRefusalPauseMs = 50;

QTimer* MakeTimer(QObject* parent, int ms, bool singleShot)
{
    auto* t = new QTimer(parent);
    t->setInterval(ms);
    t->setSingleShot(singleShot);
    t->setTimerType(Qt::PreciseTimer);
    return t;
}

SessionError::Kind KindOf(comm::OpenFailure::Kind kind)
{
    switch (kind) {
    case comm::OpenFailure::Kind::NoSuchPort:
        return SessionError::Kind::PortMissing;
    case comm::OpenFailure::Kind::NoPermission:
        return SessionError::Kind::PermissionDenied;
    default:
        return SessionError::Kind::PortBusy;
    }
}

}  // namespace

DeviceConversation::DeviceConversation(QString portName, Options options, QObject* parent)
    : QObject(parent), portName_(std::move(portName)), options_(options),
      jobs_(portName_, JobQueue::Limits{std::max(0, options.retries), 2, kRefusalPauseMs})
{
    deadline_ = MakeTimer(this, options_.exchangeMs, true);
    connect(deadline_, &QTimer::timeout, this, [this] { OnDeadline(); });
    pause_ = MakeTimer(this, kRefusalPauseMs, true);
    connect(pause_, &QTimer::timeout, this, [this] {
        jobs_.EndPause();
        SendNext();
    });
    poll_ = MakeTimer(this, kPollMs, false);
    connect(poll_, &QTimer::timeout, this, [this] { Tick(); });
    settle_ = MakeTimer(this, options_.quietMs, true);
    connect(settle_, &QTimer::timeout, this, [this] { Settled(); });
    reopen_ = MakeTimer(this, std::max(0, options_.reopenMs), true);
    connect(reopen_, &QTimer::timeout, this, [this] {
        emit reopening();
        Open();
    });
}

DeviceConversation::~DeviceConversation()
{
    // Waiters are told nothing here: whoever destroys the conversation is
    // done with it.
    if (line_) {
        line_->Close();
    }
}

SessionError DeviceConversation::Error(SessionError::Kind kind, const QString& what, int code) const
{
    return jobs_.Error(kind, what, code);
}

SessionError DeviceConversation::RefusalOf(const ReportEvent& reply) const
{
    return jobs_.RefusalOf(reply);
}

bool DeviceConversation::IsOpen() const
{
    return line_ && settled_ && line_->IsOpen();
}

bool DeviceConversation::Open(bool wait)
{
    reopen_->stop();
    if (line_) {
        return true;
    }
    settled_ = false;
    hushed_ = false;
    // A reply on its way when a serial port opens has at most 11 bytes, about
    // 12 ms at 9600 baud; a device server may hold one back much longer.
    const bool serial = comm::ParsePortName(comm::ResolvePortName(0, portName_)).kind == comm::PortAddress::Kind::Serial;
    settle_->setInterval(serial ? std::min(options_.quietMs, kSerialQuietMs) : options_.quietMs);
    line_ = std::make_unique<LCommProc>(this);
    line_->SetSilenceLimitMs(options_.silenceLimitMs);
    line_->SetPortName(portName_);
    if (!wait) {
        line_->OpenInBackground(0, comm::LineSettings::At(kBaud));
        return true;
    }
    const bool ok = line_->Open(0, comm::LineSettings::At(kBaud));
    OnOpened(ok, line_->LastOpenFailure());
    return ok;
}

void DeviceConversation::Close()
{
    reopen_->stop();
    EndLine(Error(SessionError::Kind::LinkFailed, QStringLiteral("not connected")), QStringLiteral("%1: closed").arg(portName_));
}

void DeviceConversation::EndLine(const SessionError& why, const QString& offline)
{
    if (line_) {
        line_->Close();
        line_.reset();
    }
    for (QTimer* t : {deadline_, pause_, poll_, settle_}) {
        t->stop();
    }
    ++duckAnswers_;  // answers still pending are for a line that is gone
    settled_ = false;
    jobs_.FailAll(why);
    if (online_) {
        online_ = false;
        emit onlineChanged(false, offline);
    }
}

void DeviceConversation::OnOpened(bool ok, comm::OpenFailure failure)
{
    if (!ok) {
        line_.reset();
        const SessionError why{KindOf(failure.kind), 0,
                               failure.text.isEmpty()
                                   ? QStringLiteral("%1: port busy (in use by another program) or it refused 9600 8N1").arg(portName_)
                                   : failure.text};
        jobs_.FailAll(why);
        emit openFailed(why);
        if (options_.reopenMs >= 0 && line_ == nullptr) {
            reopen_->start();
        }
        return;
    }
    settleRounds_ = 0;
    jobs_.Reset();
    settle_->start();
}

void DeviceConversation::Settled()
{
    if (!line_) {
        return;
    }
    settled_ = true;
    poll_->start();
    emit opened();
    if (options_.readOnOpen) {
        jobs_.AddRead(
            [this](const SessionError& e, const ReportEvent&) {
                if (!e && !online_) {
                    online_ = true;
                    emit onlineChanged(true, QString());
                }
            },
            true);
    } else {
        online_ = true;
        emit onlineChanged(true, QString());
    }
    SendNext();
}

bool DeviceConversation::event(QEvent* e)
{
    // The reader thread released the event when it posted it.
    comm::AcquireEvent(e);
    if (DeliverReply(e, [this] { return line_.get(); },
                     [this](const RecCompleteEvent& r) { OnReply(r.Reply(), r.ReplyTimeMs()); })) {
        return true;
    }
    if (e->type() == kOpenedEvent) {
        const auto& opened = static_cast<const OpenedEvent&>(*e);
        if (line_ && opened.DriverId() == line_->Id()) {
            OnOpened(opened.Ok(), opened.Failure());
        }
        return true;
    }
    if (e->type() == kCommErrEvent) {
        const auto& error = static_cast<const CommErrEvent&>(*e);
        if (line_ && error.DriverId() == line_->Id()) {
            if (error.Code() == kErrSilence) {
                emit unanswered();
                LineFailed(Error(SessionError::Kind::Silence, QStringLiteral("the device is silent")));
            } else {
                LineFailed(Error(SessionError::Kind::LinkFailed,
                                 QStringLiteral("the link failed (serial error %1: the port vanished or broke)").arg(error.Code()),
                                 error.Code()));
            }
        }
        return true;
    }
    return QObject::event(e);
}

bool DeviceConversation::Idle() const
{
    return jobs_.Idle();
}

bool DeviceConversation::Usable(const Done& done)
{
    if (line_) {
        return true;
    }
    if (done) {
        done(Error(SessionError::Kind::LinkFailed, QStringLiteral("not connected")), {});
    }
    return false;
}

void DeviceConversation::Change(const StateChange& change, Done done, bool judgeAtHead, bool merge)
{
    if (Usable(done)) {
        jobs_.AddChange(change, std::move(done), judgeAtHead, merge);
        SendNext();
    }
}

void DeviceConversation::Inquire(const Inquiry& inquiry, Done done)
{
    if (Usable(done)) {
        jobs_.AddInquiry(inquiry, std::move(done));
        SendNext();
    }
}

void DeviceConversation::ReadAll(Done done)
{
    if (Usable(done)) {
        jobs_.AddRead(std::move(done));
        SendNext();
    }
}

void DeviceConversation::Command(const LCmd& command, bool reload, Done done)
{
    if (Usable(done)) {
        jobs_.AddCommand(command, reload, std::move(done));
        SendNext();
    }
}

void DeviceConversation::SetPolling(bool on)
{
    options_.pollWhenIdle = on;
}

void DeviceConversation::SetReopenMs(int ms)
{
    options_.reopenMs = ms;
    if (ms < 0) {
        reopen_->stop();
    } else {
        reopen_->setInterval(ms);
    }
}

bool DeviceConversation::Reading() const
{
    return jobs_.Reading();
}

void DeviceConversation::SendNext()
{
    if (!IsOpen() || hushed_) {
        return;
    }
    if (const std::optional<JobQueue::Frame> frame = jobs_.Next()) {
        Transmit(*frame);
    } else if (jobs_.Paused() && !pause_->isActive()) {
        pause_->start(jobs_.PauseMs());
    }
}

void DeviceConversation::Transmit(const JobQueue::Frame& frame)
{
    const ByteVector bytes = frame.command.MakeFrame(frame::kModeFramed);
    lastSent_ = bytes;
    if (frame.resend) {
        line_->Retransmit(bytes);  // the first try's partial reply, if any, is given up
    } else {
        line_->Send(bytes);
    }
    emit frameSent(frame.command, frame.poll);
    deadline_->start();
}

void DeviceConversation::Tick()
{
    if (options_.pollWhenIdle && online_ && Idle() && IsOpen()) {
        jobs_.AddPoll();
        SendNext();
    }
}

void DeviceConversation::OnReply(const ByteVector& bytes, quint32 replyMs)
{
    if (bytes == lastSent_) {
        ++figures_.echoes;
    } else if (IsFramed(bytes) && !ChecksumRight(bytes)) {
        ++figures_.garbled;
    }
    const LCmd frame(bytes);
    const ReportEvent reply = DecodeReport(frame);
    if (!settled_) {
        // Left over from before we opened: the line is not quiet yet.
        emit reportReceived(frame, reply, replyMs, false);
        if (++settleRounds_ < kMaxSettleRounds) {
            settle_->start();
        }
        return;
    }
    deadline_->stop();
    // The news first, then the waiters, who may close or reopen the line.
    const QPointer<DeviceConversation> self(this);
    const JobQueue::Heard heard = jobs_.Reply(reply, [&](const JobQueue::Heard& h) {
        emit reportReceived(frame, reply, replyMs, h.answered);
        if (h.changed.any() || h.levels) {
            emit stateChanged(h.changed);
        }
    });
    if (!self || !line_) {
        return;
    }
    // The device holds its next level or ducking report until polled.
    if (heard.pollNow) {
        jobs_.AddPoll(true);
    } else if (heard.pollLater) {
        // Each report its own answer, however close they come.
        QTimer::singleShot(kDuckAnswerMs, Qt::PreciseTimer, this, [this, round = duckAnswers_] {
            if (round == duckAnswers_ && IsOpen()) {
                jobs_.AddPoll();
                SendNext();
            }
        });
    }
    if (jobs_.Owed() > 0) {
        deadline_->start();  // a reply is still owed by a frame sent again
    }
    SendNext();
}

void DeviceConversation::OnDeadline()
{
    if (!line_ || hushed_) {
        return;
    }
    JobQueue::Frame resend;
    switch (jobs_.Deadline(&resend)) {
    case JobQueue::Late::Resend:
        emit unanswered();
        // Setting a value or asking again changes nothing the device did;
        // the first try's reply, should it come, is absorbed.
        Transmit(resend);
        return;
    case JobQueue::Late::Given:
        SendNext();
        return;
    case JobQueue::Late::Failed:
        emit unanswered();
        LineFailed(Error(SessionError::Kind::Silence,
                         QStringLiteral("no answer from the device within %1 ms").arg(options_.exchangeMs)));
        return;
    case JobQueue::Late::Nothing:
        return;
    }
}

void DeviceConversation::LineFailed(const SessionError& why)
{
    EndLine(why, why.text);
    emit lineLost(why);
    if (options_.reopenMs >= 0 && !line_) {
        reopen_->start();
    }
}

