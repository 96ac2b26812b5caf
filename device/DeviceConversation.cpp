#include "DeviceConversation.h"

#include "CommEvents.h"
#include "Commands.h"
#include "DeliverReply.h"
#include "EventHandoff.h"
#include "LCommProc.h"
#include "PortName.h"

#include <QTimer>

#include <algorithm>

namespace {
constexpr int kDataBits = 8;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
// Leftovers keep the line from settling at most this many quiet periods.
constexpr int kMaxSettleRounds = 10;
constexpr int kSerialQuietMs = 12;
// Some firmware answers a preset load or save with its own report.
constexpr std::uint8_t kPresetReport = 0xCB;

QTimer* MakeTimer(QObject* parent, int ms, bool singleShot)
{
    auto* t = new QTimer(parent);
    t->setInterval(ms);
    t->setSingleShot(singleShot);
    t->setTimerType(Qt::PreciseTimer);
    return t;
}

LCmd PollCommand()
{
    return CM_MCS_POLLING(sub::kPoll);
}

bool IsRefusal(const ReportEvent& r)
{
    return r.kind == ReportKind::Nak || r.kind == ReportKind::Busy || r.kind == ReportKind::Error;
}
}  // namespace

// The inquiries of one full read share its waiters and its fate.
struct DeviceConversation::ReadGroup {
    std::vector<Done> waiters;
    int left = 0;
};

DeviceConversation::DeviceConversation(QString portName, Options options, QObject* parent)
    : QObject(parent), portName_(std::move(portName)), options_(options)
{
    deadline_ = MakeTimer(this, options_.exchangeMs, true);
    connect(deadline_, &QTimer::timeout, this, [this] { OnDeadline(); });
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
    queue_.clear();
    inFlight_.reset();
    if (line_) {
        line_->Close();
    }
}

SessionError DeviceConversation::Error(SessionError::Kind kind, const QString& what, int code) const
{
    return {kind, code, QStringLiteral("%1: %2").arg(portName_, what)};
}

SessionError DeviceConversation::RefusalOf(const ReportEvent& reply) const
{
    switch (reply.kind) {
    case ReportKind::Nak:
        return Error(SessionError::Kind::Nak, QStringLiteral("the device refused a frame (NAK)"));
    case ReportKind::Busy:
        return Error(SessionError::Kind::DeviceBusy, QStringLiteral("the device is busy"));
    case ReportKind::Error:
        return Error(SessionError::Kind::DeviceError, QStringLiteral("device error %1").arg(reply.value), reply.value);
    default:
        return {};
    }
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
    // A reply on its way when a serial port opens has at most 11 bytes, about
    // 12 ms at 9600 baud; a device server may hold one back much longer.
    const bool serial = comm::ParsePortName(comm::ResolvePortName(0, portName_)).kind == comm::PortAddress::Kind::Serial;
    settle_->setInterval(serial ? std::min(options_.quietMs, kSerialQuietMs) : options_.quietMs);
    line_ = std::make_unique<LCommProc>(this);
    line_->SetSilenceLimitMs(options_.silenceLimitMs);
    line_->SetPortName(portName_);
    if (!wait) {
        line_->OpenInBackground(0, kBaud, kDataBits, kNoParity, kOneStopBit);
        return true;
    }
    const bool ok = line_->Open(0, kBaud, kDataBits, kNoParity, kOneStopBit);
    OnOpened(ok, ok ? QString() : line_->LastOpenError());
    return ok;
}

void DeviceConversation::Close()
{
    reopen_->stop();
    takenOver_ = false;
    raw_ = nullptr;
    rawError_ = nullptr;
    EndLine(Error(SessionError::Kind::LinkFailed, QStringLiteral("not connected")), QStringLiteral("%1: closed").arg(portName_));
}

void DeviceConversation::EndLine(const SessionError& why, const QString& offline)
{
    if (line_) {
        line_->Close();
        line_.reset();
    }
    for (QTimer* t : {deadline_, poll_, settle_}) {
        t->stop();
    }
    ++duckAnswers_;  // answers still pending are for a line that is gone
    settled_ = false;
    FailAll(why);
    if (online_) {
        online_ = false;
        emit onlineChanged(false, offline);
    }
}

void DeviceConversation::OnOpened(bool ok, const QString& error)
{
    if (!ok) {
        line_.reset();
        const QString why = error.isEmpty()
                                ? QStringLiteral("%1: port busy (in use by another program) or it refused 9600 8N1").arg(portName_)
                                : error;
        FailAll({SessionError::Kind::PortBusy, 0, why});
        emit openFailed({SessionError::Kind::PortBusy, 0, why});
        if (options_.reopenMs >= 0 && line_ == nullptr) {
            reopen_->start();
        }
        return;
    }
    settleRounds_ = 0;
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
        QueueRead({[this](const SessionError& e, const ReportEvent&) {
                      if (!e && !online_) {
                          online_ = true;
                          emit onlineChanged(true, QString());
                      }
                  }},
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
            OnOpened(opened.Ok(), opened.Error());
        }
        return true;
    }
    if (e->type() == kCommErrEvent) {
        const auto& error = static_cast<const CommErrEvent&>(*e);
        if (line_ && error.DriverId() == line_->Id()) {
            if (takenOver_) {
                if (rawError_) {
                    rawError_(error.Code());
                }
            } else if (error.Code() == kErrSilence) {
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
    return !inFlight_ && queue_.empty();
}

void DeviceConversation::Change(const StateChange& change, Done done, bool judgeAtHead, bool merge)
{
    Job job;
    job.kind = Kind::Change;
    job.command = change.command;
    job.expect = change.expect;
    job.judge = judgeAtHead;
    job.merge = merge;
    if (done) {
        job.waiters.push_back(std::move(done));
    }
    Queue(std::move(job));
}

DeviceConversation::Job DeviceConversation::InquiryJob(Inquiry inquiry)
{
    Job job;
    job.kind = Kind::Inquiry;
    job.command = inquiry.command;
    job.inquiry = std::move(inquiry);
    return job;
}

void DeviceConversation::Inquire(const Inquiry& inquiry, Done done)
{
    Job job = InquiryJob(inquiry);
    if (done) {
        job.waiters.push_back(std::move(done));
    }
    Queue(std::move(job));
}

void DeviceConversation::ReadAll(Done done)
{
    std::vector<Done> waiters;
    if (done) {
        waiters.push_back(std::move(done));
    }
    QueueRead(std::move(waiters), false);
}

void DeviceConversation::QueueRead(std::vector<Done> waiters, bool front)
{
    auto group = std::make_shared<ReadGroup>();
    group->waiters = std::move(waiters);
    std::vector<Inquiry> inquiries = FullStateRead();
    group->left = static_cast<int>(inquiries.size());
    std::vector<Job> jobs;
    for (Inquiry& i : inquiries) {
        Job job = InquiryJob(std::move(i));
        job.barrier = true;
        job.read = group;
        jobs.push_back(std::move(job));
    }
    if (front) {
        queue_.insert(queue_.begin(), std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    } else {
        queue_.insert(queue_.end(), std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    }
    SendNext();
}

DeviceConversation::Job DeviceConversation::PollJob()
{
    Job job;
    job.command = PollCommand();
    return job;
}

void DeviceConversation::Command(const LCmd& command, bool reload, Done done)
{
    Job job;
    job.kind = Kind::Command;
    job.command = command;
    // A load or default replaces the live state and a save keeps it: a
    // change made after either must not take effect before it.
    job.barrier = true;
    job.reload = reload;
    if (done) {
        job.waiters.push_back(std::move(done));
    }
    Queue(std::move(job));
}

void DeviceConversation::SetPolling(bool on)
{
    options_.pollWhenIdle = on;
}

bool DeviceConversation::Reading() const
{
    return (inFlight_ && inFlight_->read) ||
           std::any_of(queue_.begin(), queue_.end(), [](const Job& j) { return j.read != nullptr; });
}

void DeviceConversation::Queue(Job job, bool front)
{
    if (!line_) {
        // Nothing opens by itself without a reopen interval: say so now.
        Finish(std::move(job), Error(SessionError::Kind::LinkFailed, QStringLiteral("not connected")), {});
        return;
    }
    if (job.kind == Kind::Change && job.merge) {
        const int it = ItemOfChange({job.command, job.expect});
        // Back to front: the latest waiting change for the item, unless a
        // barrier comes first.
        for (auto w = queue_.rbegin(); w != queue_.rend(); ++w) {
            if (w->barrier) {
                break;
            }
            if (w->kind != Kind::Change || ItemOfChange({w->command, w->expect}) != it) {
                continue;
            }
            if (!w->merge) {
                break;  // it stays as asked, and nothing later overtakes it
            }
            // Equal: the same outcome for both. Different: the later value
            // is what every waiter wants the device to hold.
            w->command = job.command;
            w->expect = job.expect;
            w->judge = w->judge && job.judge;
            std::move(job.waiters.begin(), job.waiters.end(), std::back_inserter(w->waiters));
            return;
        }
    }
    if (front) {
        queue_.push_front(std::move(job));
    } else {
        queue_.push_back(std::move(job));
    }
    SendNext();
}

void DeviceConversation::SendNext()
{
    while (IsOpen() && !takenOver_ && !inFlight_ && !queue_.empty()) {
        Job job = std::move(queue_.front());
        queue_.pop_front();
        if (job.judge && job.kind == Kind::Change) {
            const int it = ItemOfChange({job.command, job.expect});
            DeviceState after = state_;
            after.Apply(job.expect);
            if (it >= 0 && state_.known.test(static_cast<std::size_t>(it)) && ChangesTo(state_, after).empty()) {
                Finish(std::move(job), {}, job.expect);  // the device holds the value already
                continue;
            }
        }
        inFlight_ = std::move(job);
        Transmit();
    }
}

void DeviceConversation::Transmit()
{
    const ByteVector bytes = inFlight_->command.MakeFrame(frame::kModeFramed);
    if (inFlight_->tries > 0) {
        line_->Retransmit(bytes);  // the first try's reply is given up
    } else {
        line_->Send(bytes);
    }
    emit frameSent(inFlight_->command, inFlight_->kind == Kind::Poll);
    deadline_->start();
}

void DeviceConversation::Tick()
{
    if (options_.pollWhenIdle && online_ && Idle() && IsOpen() && !takenOver_) {
        Queue(PollJob());
    }
}

bool DeviceConversation::AnswersInFlight(const ReportEvent& reply) const
{
    const Job& job = *inFlight_;
    if (IsRefusal(reply)) {
        return true;
    }
    switch (job.kind) {
    case Kind::Change:
        return reply.kind == job.expect.kind && ItemOfReport(reply) == ItemOfReport(job.expect);
    case Kind::Inquiry:
        return Answers(job.inquiry, reply);
    case Kind::Command:
        return reply.kind == ReportKind::Ack || (reply.kind == ReportKind::Unknown && reply.sub == kPresetReport);
    case Kind::Poll:
        return reply.kind == ReportKind::Ack || reply.kind == ReportKind::DuckState || reply.kind == ReportKind::Level ||
               reply.kind == ReportKind::PairLevels || reply.kind == ReportKind::NoEffect;
    }
    return false;
}

void DeviceConversation::OnReply(const ByteVector& bytes, quint32 replyMs)
{
    if (takenOver_) {
        if (raw_) {
            raw_(bytes);
        }
        return;
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
    if (!inFlight_ || !AnswersInFlight(reply)) {
        emit reportReceived(frame, reply, replyMs, false);
        return;
    }
    deadline_->stop();
    Job job = std::move(*inFlight_);
    inFlight_.reset();
    const DeviceState before = state_;
    state_.Apply(reply);
    ItemSet changed;
    for (const StateChange& c : ChangesTo(before, state_)) {
        changed.set(static_cast<std::size_t>(ItemOfChange(c)));
    }
    emit reportReceived(frame, reply, replyMs, true);
    if (changed.any() || before.level != state_.level || before.duckingActive != state_.duckingActive) {
        emit stateChanged(changed);
    }
    // The device holds its next level or ducking report until polled.
    if (reply.kind == ReportKind::Level) {
        Queue(PollJob(), true);
    } else if (reply.kind == ReportKind::DuckState) {
        // Each report its own answer, however close they come.
        QTimer::singleShot(kDuckAnswerMs, Qt::PreciseTimer, this, [this, round = duckAnswers_] {
            if (round == duckAnswers_ && IsOpen() && !takenOver_) {
                Queue(PollJob());
            }
        });
    }

    SessionError error = RefusalOf(reply);
    if (!error && job.kind == Kind::Change && !Confirms({job.command, job.expect}, reply)) {
        error = Error(SessionError::Kind::NotConfirmed,
                      QStringLiteral("a change was not confirmed (the device answered %1 %2)")
                          .arg(QLatin1String(ReportKindName(reply.kind)))
                          .arg(reply.value));
    }
    if (!error && job.reload) {
        // Loaded: every item may have changed. The waiters hear once it is read.
        QueueRead(std::move(job.waiters), true);
        job.waiters.clear();
    }
    if (!error && job.kind == Kind::Change) {
        AskPartners(job, reply);
    }
    Finish(std::move(job), error, reply);
    SendNext();
}

void DeviceConversation::AskPartners(Job& job, const ReportEvent& reply)
{
    std::vector<Inquiry> partners = PartnerInquiries(ItemOfReport(reply), state_);
    if (partners.empty()) {
        return;
    }
    // The device moved more than it reported: read what else it moved, and
    // tell the change's waiters once the state holds it.
    std::vector<Done> waiters = std::move(job.waiters);
    job.waiters.clear();
    std::vector<Job> jobs;
    for (Inquiry& i : partners) {
        jobs.push_back(InquiryJob(std::move(i)));
    }
    jobs.back().waiters.push_back([waiters = std::move(waiters), reply](const SessionError& e, const ReportEvent&) {
        for (const Done& done : waiters) {
            if (done) {
                done(e, reply);
            }
        }
    });
    queue_.insert(queue_.begin(), std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
}

void DeviceConversation::Finish(Job job, const SessionError& error, const ReportEvent& reply)
{
    for (const Done& done : job.waiters) {
        if (done) {
            done(error, reply);
        }
    }
    if (!job.read) {
        return;
    }
    std::shared_ptr<ReadGroup> group = job.read;
    if (error) {
        // One unanswered inquiry fails the whole read: drop the rest of it.
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [&](const Job& j) { return j.read == group; }),
                     queue_.end());
        group->left = 0;
    } else if (--group->left > 0) {
        return;
    }
    std::vector<Done> waiters = std::move(group->waiters);
    group->waiters.clear();
    for (const Done& done : waiters) {
        if (done) {
            done(error, reply);
        }
    }
}

void DeviceConversation::OnDeadline()
{
    if (!inFlight_ || !line_) {
        return;
    }
    emit unanswered();
    if (inFlight_->tries < options_.retries) {
        // Setting a value or asking again changes nothing the device did.
        ++inFlight_->tries;
        Transmit();
        return;
    }
    LineFailed(Error(SessionError::Kind::Silence,
                     QStringLiteral("no answer from the device within %1 ms").arg(options_.exchangeMs)));
}

void DeviceConversation::FailAll(const SessionError& why)
{
    std::deque<Job> failed = std::move(queue_);
    queue_.clear();
    if (inFlight_) {
        failed.push_front(std::move(*inFlight_));
        inFlight_.reset();
    }
    for (Job& job : failed) {
        Finish(std::move(job), why, {});
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

LCommProc* DeviceConversation::TakeOver(std::function<void(const ByteVector&)> raw, std::function<void(int)> error)
{
    if (!line_) {
        return nullptr;
    }
    takenOver_ = true;
    raw_ = std::move(raw);
    rawError_ = std::move(error);
    deadline_->stop();
    ++duckAnswers_;
    return line_.get();
}

void DeviceConversation::Release()
{
    takenOver_ = false;
    raw_ = nullptr;
    rawError_ = nullptr;
    SendNext();
}
