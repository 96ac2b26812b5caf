#include "BridgeLink.h"

#include "BridgeCore.h"
#include "CommEvents.h"
#include "Commands.h"
#include "DeliverReply.h"
#include "EventHandoff.h"
#include "FullState.h"
#include "LCommProc.h"
#include "Mroutine.h"
#include "PostedCall.h"
#include "StateJson.h"

#include <QTimer>

#include <algorithm>

namespace {
constexpr int kBaud = 9600;
constexpr int kDataBits = 8;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kReopenMs = 1000;

QString Refusal(const ReportEvent& reply, const char* expected)
{
    switch (reply.kind) {
    case ReportKind::Nak:
        return QStringLiteral("the device refused the command (NAK)");
    case ReportKind::Busy:
        return QStringLiteral("the device is busy");
    case ReportKind::Error:
        return QStringLiteral("device error %1").arg(reply.value);
    default:
        return QStringLiteral("the device answered %1 where %2 was due")
            .arg(QLatin1String(ReportKindName(reply.kind)), QLatin1String(expected));
    }
}

QJsonObject LevelsJson(const std::array<std::uint8_t, kStateChannels>& levels)
{
    QJsonObject out;
    for (int i = 0; i < kStateChannels; ++i) {
        const int p = levels[i];
        out.insert(QString::fromLatin1(StateChannelName(i)),
                   QJsonObject{{"position", p}, {"text", QString::fromStdString(PositionText(p))}});
    }
    return out;
}
}  // namespace

BridgeLink::BridgeLink(BridgeCore* core, QString portName) : core_(core), portName_(std::move(portName)) {}

BridgeLink::~BridgeLink() = default;

void BridgeLink::Start()
{
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(LCommProc::kPollIntervalMs);
    connect(pollTimer_, &QTimer::timeout, this, [this] { Tick(); });
    pollTimer_->start();
    reopenTimer_ = new QTimer(this);
    reopenTimer_->setSingleShot(true);
    reopenTimer_->setInterval(kReopenMs);
    connect(reopenTimer_, &QTimer::timeout, this, [this] {
        if (!Open()) {
            reopenTimer_->start();
        }
    });
    if (!Open()) {
        reopenTimer_->start();
    }
}

void BridgeLink::Stop()
{
    delete pollTimer_;
    pollTimer_ = nullptr;
    delete reopenTimer_;
    reopenTimer_ = nullptr;
    if (line_) {
        line_->Close();
        line_.reset();
    }
    requests_.clear();
}

bool BridgeLink::Open()
{
    line_ = std::make_unique<LCommProc>(this);
    line_->SetPollSuspended(true);
    if (!line_->OpenNamed(portName_, kBaud, kDataBits, kNoParity, kOneStopBit)) {
        QString why = line_->LastOpenError();
        line_.reset();
        if (why.isEmpty()) {
            why = QStringLiteral("%1: port busy (in use by another program) or it refused 9600 8N1").arg(portName_);
        }
        PostCall(core_, [core = core_, why] { core->SetOnline(false, why); });
        return false;
    }
    QueueFullRead({});
    return true;
}

void BridgeLink::QueueFullRead(std::vector<int> waiters)
{
    const std::vector<LCmd> inquiries = FullStateInquiries();
    for (std::size_t i = 0; i < inquiries.size(); ++i) {
        Entry e;
        e.kind = Job::Inquiry;
        e.command = inquiries[i];
        if (i + 1 == inquiries.size()) {
            e.waiters = std::move(waiters);
        }
        queue_.push_back(std::move(e));
    }
    SendNext();
}

void BridgeLink::Queue(Entry entry)
{
    if (entry.kind == Job::Change) {
        const ByteVector frame = entry.command.MakeFrame(frame::kModeFramed);
        for (Entry& waiting : queue_) {
            if (waiting.kind == Job::Change && LCommProc::SameTarget(waiting.command.MakeFrame(frame::kModeFramed), frame)) {
                waiting.command = entry.command;
                waiting.expect = entry.expect;
                waiting.waiters.insert(waiting.waiters.end(), entry.waiters.begin(), entry.waiters.end());
                return;
            }
        }
    }
    queue_.push_back(std::move(entry));
    SendNext();
}

void BridgeLink::SendNext()
{
    if (!line_ || inFlight_ || queue_.empty()) {
        return;
    }
    inFlight_ = std::move(queue_.front());
    queue_.pop_front();
    // Appended: while a reply is being handled the driver holds it until
    // Advance, which the delivery calls after the handler.
    line_->Send(inFlight_->command.MakeFrame(frame::kModeFramed), true);
}

void BridgeLink::Tick()
{
    if (online_ && line_ && !inFlight_ && queue_.empty()) {
        Queue(Entry{Job::Poll, CM_MCS_POLLING(sub::kPoll), {}, {}});
    }
}

bool BridgeLink::event(QEvent* e)
{
    // The reader thread released the reply when it posted it; no
    // application-wide filter acquires it on this thread.
    comm::AcquireEvent(e);
    if (RunPostedCall(e)) {
        return true;
    }
    if (DeliverReply(e, [this] { return line_.get(); }, [this](const RecCompleteEvent& r) { OnReply(r.Reply()); })) {
        return true;
    }
    if (e->type() == kCommErrEvent) {
        const auto& error = static_cast<const CommErrEvent&>(*e);
        if (line_ && error.DriverId() == line_->Id()) {
            LineFailed(error.Code() == kErrSilence
                           ? QStringLiteral("%1: the device is silent").arg(portName_)
                           : QStringLiteral("%1: the link failed (serial error %2)").arg(portName_).arg(error.Code()));
        }
        return true;
    }
    return QObject::event(e);
}

void BridgeLink::OnReply(const ByteVector& bytes)
{
    const ReportEvent reply = DecodeReport(LCmd(bytes));
    state_.Apply(reply);
    const int i = StateIndexOfChannel(reply.channel);
    if ((reply.kind == ReportKind::Gain || reply.kind == ReportKind::Level) && i >= 0) {
        levels_[i] = reply.value;
    } else if (reply.kind == ReportKind::PairLevels && (reply.channel == 1 || reply.channel == 3)) {
        levels_[reply.channel] = reply.value;
        levels_[reply.channel + 1] = reply.value2;
    }
    if (!inFlight_) {
        Publish();
        return;  // a stray reply: applied, answers nothing of ours
    }
    const Entry done = std::move(*inFlight_);
    inFlight_.reset();
    const bool readWhole = done.kind == Job::Inquiry && !online_ &&
                           std::none_of(queue_.begin(), queue_.end(), [](const Entry& e) { return e.kind == Job::Inquiry; });
    if (readWhole) {
        online_ = true;
    }
    // The state goes out before the news that the line is up and before the
    // answers, so that both find it in the core.
    Publish();
    if (readWhole) {
        PostCall(core_, [core = core_] { core->SetOnline(true, QString()); });
    }
    Resolve(done, reply);
    // The device holds its next level or ducking report until polled.
    if (reply.kind == ReportKind::Level || reply.kind == ReportKind::DuckState) {
        Queue(Entry{Job::Poll, CM_MCS_POLLING(sub::kPoll), {}, {}});
    }
    SendNext();
}

void BridgeLink::Resolve(const Entry& done, const ReportEvent& reply)
{
    switch (done.kind) {
    case Job::Change: {
        const bool ok = Confirms(StateChange{done.command, done.expect}, reply);
        Complete(done.waiters, ok, ok ? QString() : Refusal(reply, ReportKindName(done.expect.kind)));
        break;
    }
    case Job::Preset:
        if (reply.kind != ReportKind::Ack) {
            Complete(done.waiters, false, Refusal(reply, "ack"));
        } else if (done.reloadAfter) {
            QueueFullRead(done.waiters);  // loaded: every item may have changed
        } else {
            Complete(done.waiters, true, QString());
        }
        break;
    case Job::Inquiry:
        Complete(done.waiters, true, QString());
        break;
    case Job::Poll:
        break;
    }
}

void BridgeLink::Complete(const std::vector<int>& ids, bool ok, const QString& error)
{
    auto& requests = requests_;
    for (int id : ids) {
        auto it = requests.find(id);
        if (it == requests.end()) {
            continue;
        }
        if (!ok && it->second.error.isEmpty()) {
            it->second.error = error;
        }
        if (--it->second.left > 0) {
            continue;
        }
        const QString why = it->second.error;
        requests.erase(it);
        PostCall(core_, [core = core_, id, why] { core->Finish(id, why.isEmpty(), why); });
    }
}

void BridgeLink::LineFailed(const QString& why)
{
    if (line_) {
        line_->Close();
        line_.reset();
    }
    std::deque<Entry> failed = std::move(queue_);
    queue_.clear();
    if (inFlight_) {
        failed.push_front(std::move(*inFlight_));
        inFlight_.reset();
    }
    for (const Entry& e : failed) {
        Complete(e.waiters, false, why);
    }
    online_ = false;
    PostCall(core_, [core = core_, why] { core->SetOnline(false, why); });
    if (reopenTimer_) {
        reopenTimer_->start();
    }
}

void BridgeLink::Publish()
{
    if (!online_ || (published_ && state_ == publishedState_ && levels_ == publishedLevels_)) {
        return;
    }
    published_ = true;
    publishedState_ = state_;
    publishedLevels_ = levels_;
    PostCall(core_, [core = core_, s = state_, l = LevelsJson(levels_)] { core->Publish(s, l); });
}

DeviceState BridgeLink::Expected() const
{
    DeviceState s = state_;
    if (inFlight_ && inFlight_->kind == Job::Change) {
        s.Apply(inFlight_->expect);
    }
    for (const Entry& e : queue_) {
        if (e.kind == Job::Change) {
            s.Apply(e.expect);
        }
    }
    return s;
}

void BridgeLink::ApplyPatch(int id, const QJsonObject& patch)
{
    auto fail = [this, id](const QString& why) {
        PostCall(core_, [core = core_, id, why] { core->Finish(id, false, why); });
    };
    if (!online_) {
        fail(QStringLiteral("%1: the device is offline").arg(portName_));
        return;
    }
    const DeviceState expected = Expected();
    DeviceState target = expected;
    if (auto e = MergeStateJson(patch, target, false)) {
        fail(*e);
        return;
    }
    const std::vector<StateChange> changes = ChangesTo(expected, target);
    if (changes.empty()) {
        PostCall(core_, [core = core_, id] { core->Finish(id, true, QString()); });
        return;
    }
    requests_[id].left = static_cast<int>(changes.size());
    for (const StateChange& c : changes) {
        Queue(Entry{Job::Change, c.command, c.expect, {id}});
    }
}

void BridgeLink::Preset(int id, int n, bool save)
{
    if (!online_) {
        PostCall(core_, [core = core_, id, why = QStringLiteral("%1: the device is offline").arg(portName_)] { core->Finish(id, false, why); });
        return;
    }
    requests_[id].left = 1;
    Entry e{Job::Preset, CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), save ? 1 : 0), {}, {id}};
    e.reloadAfter = !save;
    Queue(std::move(e));
}
