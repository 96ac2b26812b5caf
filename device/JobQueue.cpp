#include "JobQueue.h"

#include "Commands.h"
#include "ItemKeys.h"
#include "Mroutine.h"

#include <QStringList>

#include <algorithm>

namespace {
bool IsRefusal(const ReportEvent& r)
{
    return r.kind == ReportKind::Nak || r.kind == ReportKind::Busy || r.kind == ReportKind::Error;
}

bool LoadsState(const LCmd& command)
{
    // A preset load (selector 0) or the factory set replaces the live state.
    const ByteVector& p = command.Payload();
    return (command.Sub() == sub::kSaveLoad && p.size() >= 2 && p[1] == 0) || command.Sub() == sub::kReset;
}

}  // namespace

QString ItemName(int it)
{
    if (it >= item::Gain(0) && it < item::Gain(kStateChannels)) {
        return QStringLiteral("%1.gain").arg(QLatin1String(StateChannelName(it)));
    }
    if (it >= item::Mute(0) && it < item::Mute(kStateChannels)) {
        return QStringLiteral("%1.mute").arg(QLatin1String(StateChannelName(it - item::Mute(0))));
    }
    if (it >= item::Priority(0) && it < item::Priority(kStateMics)) {
        return QStringLiteral("%1.priority").arg(QLatin1String(StateChannelName(kFirstMicIndex + it - item::Priority(0))));
    }
    if (it >= item::Ducking(0) && it < item::Ducking(kDuckSettings)) {
        return QStringLiteral("ducking.%1").arg(QLatin1String(kDuckSettingKeys[static_cast<std::size_t>(it - item::Ducking(0))]));
    }
    switch (it) {
    case item::kSubGanged:
        return QStringLiteral("ganged.sub");
    case item::kMasterGanged:
        return QStringLiteral("ganged.master");
    case item::kLineSource:
        return QStringLiteral("line_source");
    case item::kDuckState:
        return QStringLiteral("ducking.manual");
    case item::kSwitchOn:
        return QStringLiteral("switch_on");
    default:
        return QStringLiteral("item %1").arg(it);
    }
}

QString ItemValueText(const DeviceState& s, int it)
{
    const auto onOff = [](bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); };
    if (it >= item::Gain(0) && it < item::Gain(kStateChannels)) {
        return QString::fromStdString(PositionText(s.gain[static_cast<std::size_t>(it)]));
    }
    if (it >= item::Mute(0) && it < item::Mute(kStateChannels)) {
        return onOff(s.mute[static_cast<std::size_t>(it - item::Mute(0))]);
    }
    if (it >= item::Priority(0) && it < item::Priority(kStateMics)) {
        return onOff(s.priority[static_cast<std::size_t>(it - item::Priority(0))]);
    }
    if (it >= item::Ducking(0) && it < item::Ducking(kDuckSettings)) {
        return QString::number(s.ducking[static_cast<std::size_t>(it - item::Ducking(0))]);
    }
    switch (it) {
    case item::kSubGanged:
        return onOff(s.subGanged);
    case item::kMasterGanged:
        return onOff(s.masterGanged);
    case item::kLineSource:
        return QLatin1String(kLineSourceKeys[s.lineSource < kLineSourceKeys.size() ? s.lineSource : 0]);
    case item::kDuckState:
        return onOff(s.manualDucking);
    case item::kSwitchOn:
        return s.switchOn == 0 ? QStringLiteral("off") : QStringLiteral("preset%1").arg(s.switchOn);
    default:
        return QString();
    }
}

std::optional<Inquiry> InquiryForItem(int it)
{
    for (Inquiry& i : FullStateRead()) {
        if (ItemOfInquiry(i) == it) {
            return std::move(i);
        }
    }
    return std::nullopt;
}

// The inquiries of one full read share its waiters and its fate.
struct JobQueue::Read {
    std::vector<Done> waiters;
    ItemSet reported;
    int left = 0;         // inquiries of the current pass not yet ended
    int pass = 0;         // 0 the 49, 1 the missing items again, 2 the 49 once more
    int refusedInARow = 0;
    SessionError refusal;  // the last refusal, for the error if the read fails
    bool over = false;
};

JobQueue::JobQueue(QString portName) : JobQueue(std::move(portName), Limits{}) {}

JobQueue::JobQueue(QString portName, Limits limits) : portName_(std::move(portName)), limits_(limits) {}

JobQueue::~JobQueue() = default;

SessionError JobQueue::Error(SessionError::Kind kind, const QString& what, int code) const
{
    return {kind, code, QStringLiteral("%1: %2").arg(portName_, what)};
}

SessionError JobQueue::RefusalOf(const ReportEvent& reply) const
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

bool JobQueue::Idle() const
{
    return !inFlight_ && queue_.empty() && owed_ == 0 && !paused_;
}

bool JobQueue::Reading() const
{
    return (inFlight_ && inFlight_->read) ||
           std::any_of(queue_.begin(), queue_.end(), [](const Job& j) { return j.read != nullptr; });
}

JobQueue::Job JobQueue::MakeJob(Kind kind, const LCmd& command, Done done)
{
    Job job;
    job.kind = kind;
    job.command = command;
    if (done) {
        job.waiters.push_back(std::move(done));
    }
    return job;
}

JobQueue::Job JobQueue::InquiryJob(const Inquiry& inquiry, const std::shared_ptr<Read>& read)
{
    Job job = MakeJob(Kind::Inquiry, inquiry.command, {});
    job.inquiry = inquiry;
    // A read is a barrier: no change merges across it.
    job.barrier = read != nullptr;
    job.read = read;
    return job;
}

void JobQueue::AddChange(const StateChange& change, Done done, bool judgeAtHead, bool merge)
{
    Job job = MakeJob(Kind::Change, change.command, std::move(done));
    job.change = change;
    job.judge = judgeAtHead;
    job.merge = merge;
    Queue(std::move(job));
    RunNotices();
}

void JobQueue::AddInquiry(const Inquiry& inquiry, Done done)
{
    Job job = InquiryJob(inquiry, nullptr);
    if (done) {
        job.waiters.push_back(std::move(done));
    }
    Queue(std::move(job));
    RunNotices();
}

void JobQueue::AddRead(Done done, bool front)
{
    std::vector<Done> waiters;
    if (done) {
        waiters.push_back(std::move(done));
    }
    QueueRead(std::move(waiters), front);
    RunNotices();
}

void JobQueue::AddCommand(const LCmd& command, bool reload, Done done)
{
    Job job = MakeJob(Kind::Command, command, std::move(done));
    // A load or default replaces the live state and a save keeps it: a
    // change made after either must not take effect before it.
    job.barrier = true;
    job.reload = reload;
    Queue(std::move(job));
    RunNotices();
}

void JobQueue::AddPoll(bool front)
{
    Queue(MakeJob(Kind::Poll, CM_MCS_POLLING(sub::kPoll), {}), front);
}

void JobQueue::Queue(Job job, bool front)
{
    if (job.kind == Kind::Change && job.merge) {
        const int it = ItemOfChange(job.change);
        // Back to front: the latest waiting change for the item, unless a
        // barrier comes first.
        for (auto w = queue_.rbegin(); w != queue_.rend(); ++w) {
            if (w->barrier) {
                break;
            }
            if (w->kind != Kind::Change || w->readBack || ItemOfChange(w->change) != it) {
                continue;
            }
            if (!w->merge) {
                break;  // it stays as asked, and nothing later overtakes it
            }
            // Equal: the same outcome for both. Different: the later value
            // is what every waiter wants the device to hold.
            w->command = job.command;
            w->change = job.change;
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
}

void JobQueue::QueueRead(std::vector<Done> waiters, bool front)
{
    auto read = std::make_shared<Read>();
    read->waiters = std::move(waiters);
    reads_.push_back(read);
    const std::vector<Inquiry> all = FullStateRead();
    if (front) {
        QueueInquiries(all, read);
    } else {
        read->left = static_cast<int>(all.size());
        for (const Inquiry& i : all) {
            queue_.push_back(InquiryJob(i, read));
        }
    }
}

void JobQueue::QueueInquiries(const std::vector<Inquiry>& inquiries, const std::shared_ptr<Read>& read)
{
    read->left = static_cast<int>(inquiries.size());
    for (auto i = inquiries.rbegin(); i != inquiries.rend(); ++i) {
        queue_.push_front(InquiryJob(*i, read));
    }
}

bool JobQueue::Holds(const StateChange& change) const
{
    DeviceState after = state_;
    after.Apply(change.expect);
    return ChangesTo(state_, after).empty();
}

std::optional<JobQueue::Frame> JobQueue::Next()
{
    std::optional<Frame> out;
    while (!inFlight_ && owed_ == 0 && !paused_ && !queue_.empty()) {
        Job job = std::move(queue_.front());
        queue_.pop_front();
        if (job.judge && job.kind == Kind::Change) {
            const int it = ItemOfChange(job.change);
            if (it >= 0 && state_.known.test(static_cast<std::size_t>(it)) && Holds(job.change)) {
                Finish(std::move(job), {}, job.change.expect);  // the device holds the value already
                continue;
            }
        }
        if (job.kind == Kind::Change) {
            const int it = ItemOfChange(job.change);
            job.heardAt = it >= 0 ? heard_[static_cast<std::size_t>(it)] : 0;
        }
        out = Frame{job.command, job.kind == Kind::Poll, false};
        inFlight_ = std::move(job);
        owed_ = 1;
    }
    RunNotices();
    return out;
}

JobQueue::Heard JobQueue::Reply(const ReportEvent& reply, const std::function<void(const Heard&)>& told)
{
    Heard heard;
    const DeviceState before = state_;
    state_.Apply(reply);
    const int it = ItemOfReport(reply);
    if (it >= 0) {
        ++heard_[static_cast<std::size_t>(it)];
        for (const std::weak_ptr<Read>& w : reads_) {
            if (auto r = w.lock()) {
                r->reported.set(static_cast<std::size_t>(it));
            }
        }
    }
    reads_.erase(std::remove_if(reads_.begin(), reads_.end(), [](const std::weak_ptr<Read>& w) { return w.expired(); }),
                 reads_.end());
    for (const StateChange& c : ChangesTo(before, state_)) {
        heard.changed.set(static_cast<std::size_t>(ItemOfChange(c)));
    }
    heard.levels = before.level != state_.level || before.duckingActive != state_.duckingActive;
    heard.pollNow = reply.kind == ReportKind::Level;
    heard.pollLater = reply.kind == ReportKind::DuckState;
    if (owed_ > 0) {
        --owed_;
    }
    if (inFlight_) {
        heard.answered = true;
        Job job = std::move(*inFlight_);
        inFlight_.reset();
        Ended(std::move(job), reply);
    }
    if (told) {
        told(heard);
    }
    RunNotices();
    return heard;
}

void JobQueue::Ended(Job job, const ReportEvent& reply)
{
    if (job.kind == Kind::Poll) {
        return;  // whatever answered a poll is applied; nobody waits for it
    }
    if (IsRefusal(reply)) {
        // Inquiries are asked again after any refusal; other jobs only after
        // "busy", the one refusal that says "not now" rather than "no".
        const bool again = job.kind == Kind::Inquiry || reply.kind == ReportKind::Busy;
        if (again && job.refusals < limits_.refusalRetries) {
            ++job.refusals;
            job.tries = 0;
            queue_.push_front(std::move(job));
            paused_ = true;
            return;
        }
        const SessionError refusal = RefusalOf(reply);
        if (job.readBack) {
            // The change itself was answered; only its read-back was refused.
            Finish(std::move(job), Error(SessionError::Kind::Acknowledged, QStringLiteral("acknowledged; the read-back was refused")), reply);
            return;
        }
        if (job.read) {
            std::shared_ptr<Read> read = job.read;
            job.read.reset();
            Finish(std::move(job), refusal, reply);
            ReadJobEnded(read, refusal);
            return;
        }
        Finish(std::move(job), refusal, reply);
        return;
    }
    switch (job.kind) {
    case Kind::Change:
        Judge(std::move(job), reply);
        return;
    case Kind::Inquiry:
        if (job.readBack) {
            Judge(std::move(job), reply);
            return;
        }
        if (job.read) {
            std::shared_ptr<Read> read = job.read;
            job.read.reset();
            Finish(std::move(job), {}, reply);
            ReadJobEnded(read, {});
            return;
        }
        Finish(std::move(job), {}, reply);
        return;
    case Kind::Command:
        if (LoadsState(job.command)) {
            // Every item may have changed: nothing is known until read again.
            state_.known.reset();
        }
        if (job.reload) {
            // The waiters hear once the state is read.
            QueueRead(std::move(job.waiters), true);
            job.waiters.clear();
        }
        Finish(std::move(job), {}, reply);
        return;
    case Kind::Poll:
        return;
    }
}

void JobQueue::Judge(Job job, const ReportEvent& reply)
{
    const int it = ItemOfChange(job.change);
    const bool reported = it >= 0 && heard_[static_cast<std::size_t>(it)] != job.heardAt;
    if (reported) {
        if (!Holds(job.change)) {
            Finish(std::move(job),
                   Error(SessionError::Kind::Differs,
                         QStringLiteral("%1: the device holds %2").arg(ItemName(it), ItemValueText(state_, it))),
                   reply);
            return;
        }
        // Confirmed. The device drives a ganged pair's right output with its
        // left and reports the left only: read what moved with it, and tell
        // the waiters once the state holds that too.
        std::vector<Inquiry> partners = PartnerInquiries(it, state_);
        if (!partners.empty()) {
            std::vector<Done> waiters = std::move(job.waiters);
            job.waiters.clear();
            for (auto p = partners.rbegin(); p != partners.rend(); ++p) {
                Job ask = InquiryJob(*p, nullptr);
                if (p == partners.rbegin()) {
                    ask.waiters.push_back([this, waiters = std::move(waiters), reply](const SessionError&, const ReportEvent&) {
                        Tell(waiters, {}, reply);
                    });
                }
                queue_.push_front(std::move(ask));
            }
        }
        Finish(std::move(job), {}, reply);
        return;
    }
    if (job.readBack || it < 0) {
        Finish(std::move(job),
               Error(SessionError::Kind::Acknowledged, QStringLiteral("acknowledged; the device did not report the value")),
               reply);
        return;
    }
    // An acknowledgement, or a report of something else: ask for the item.
    const std::optional<Inquiry> ask = InquiryForItem(it);
    if (!ask) {
        Finish(std::move(job), Error(SessionError::Kind::Acknowledged, QStringLiteral("acknowledged")), reply);
        return;
    }
    job.readBack = true;
    job.kind = Kind::Inquiry;
    job.command = ask->command;
    job.inquiry = *ask;
    job.tries = 0;
    job.refusals = 0;
    queue_.push_front(std::move(job));
}

void JobQueue::ReadJobEnded(const std::shared_ptr<Read>& read, const SessionError& refusal)
{
    if (read->over) {
        return;
    }
    if (refusal) {
        read->refusal = refusal;
        if (++read->refusedInARow >= kRefusedInARow) {
            FailRead(read, refusal);
            return;
        }
    } else {
        read->refusedInARow = 0;
    }
    if (--read->left <= 0) {
        EndPass(read);
    }
}

void JobQueue::EndPass(const std::shared_ptr<Read>& read)
{
    ItemSet missing = read->reported;
    missing.flip();
    if (missing.none()) {
        read->over = true;
        Tell(std::move(read->waiters), {}, {});
        return;
    }
    if (read->pass == 0) {
        read->pass = 1;
        std::vector<Inquiry> again;
        for (Inquiry& i : FullStateRead()) {
            const int it = ItemOfInquiry(i);
            if (it >= 0 && missing.test(static_cast<std::size_t>(it))) {
                again.push_back(std::move(i));
            }
        }
        if (!again.empty()) {
            QueueInquiries(again, read);
            return;
        }
    }
    if (read->pass <= 1) {
        read->pass = 2;
        QueueInquiries(FullStateRead(), read);
        return;
    }
    QStringList names;
    for (int i = 0; i < item::kCount; ++i) {
        if (missing.test(static_cast<std::size_t>(i))) {
            names << ItemName(i);
        }
    }
    SessionError why = Error(SessionError::Kind::Incomplete,
                             QStringLiteral("the device did not report %1").arg(names.join(QStringLiteral(", "))));
    if (read->refusal) {
        why.text += QStringLiteral(" (%1)").arg(read->refusal.text);
    }
    FailRead(read, why);
}

void JobQueue::FailRead(const std::shared_ptr<Read>& read, const SessionError& why)
{
    read->over = true;
    // The rest of it is dropped: a read that failed reads nothing more.
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [&](const Job& j) { return j.read == read; }), queue_.end());
    if (inFlight_ && inFlight_->read == read) {
        inFlight_->read.reset();
    }
    Tell(std::move(read->waiters), why, {});
}

JobQueue::Late JobQueue::Deadline(Frame* resend)
{
    if (inFlight_) {
        if (inFlight_->tries < limits_.resends) {
            ++inFlight_->tries;
            ++owed_;
            if (resend != nullptr) {
                *resend = Frame{inFlight_->command, inFlight_->kind == Kind::Poll, true};
            }
            return Late::Resend;
        }
        return Late::Failed;
    }
    if (owed_ > 0) {
        owed_ = 0;  // the reply to an earlier try was lost after all
        RunNotices();
        return Late::Given;
    }
    return Late::Nothing;
}

void JobQueue::EndPause()
{
    paused_ = false;
}

void JobQueue::FailAll(const SessionError& why)
{
    std::deque<Job> failed = std::move(queue_);
    queue_.clear();
    if (inFlight_) {
        failed.push_front(std::move(*inFlight_));
        inFlight_.reset();
    }
    owed_ = 0;
    paused_ = false;
    for (Job& job : failed) {
        std::shared_ptr<Read> read = std::move(job.read);
        Finish(std::move(job), why, {});
        if (read && !read->over) {
            FailRead(read, why);
        }
    }
    RunNotices();
}

void JobQueue::Reset()
{
    owed_ = 0;
    paused_ = false;
}

void JobQueue::Finish(Job job, const SessionError& error, const ReportEvent& reply)
{
    Tell(std::move(job.waiters), error, reply);
}

void JobQueue::Tell(std::vector<Done> waiters, const SessionError& error, const ReportEvent& reply)
{
    if (waiters.empty()) {
        return;
    }
    notices_.push_back([waiters = std::move(waiters), error, reply] {
        for (const Done& done : waiters) {
            if (done) {
                done(error, reply);
            }
        }
    });
}

void JobQueue::RunNotices()
{
    // A waiter may add jobs (and so come back here): each notice runs once.
    while (!notices_.empty()) {
        std::function<void()> notice = std::move(notices_.front());
        notices_.erase(notices_.begin());
        notice();
    }
}
