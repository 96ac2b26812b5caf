#include "DeviceSession.h"

#include "CommEvents.h"
#include "Commands.h"
#include "DeliverReply.h"
#include "EventHandoff.h"
#include "FirmwareImage.h"
#include "FullState.h"
#include "LCommProc.h"
#include "LUpdate.h"
#include "PortErrors.h"
#include "StateJson.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace {
constexpr int kDataBits = 8;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;

SessionError Fail(SessionError::Kind kind, const QString& text, int code = 0)
{
    return {kind, code, text};
}

// "channels.mic3.mute" -> value, for naming the first item that differs.
void Flatten(const QJsonObject& o, const QString& prefix, QMap<QString, QJsonValue>& out)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = prefix.isEmpty() ? it.key() : prefix + QLatin1Char('.') + it.key();
        if (it.value().isObject()) {
            Flatten(it.value().toObject(), key, out);
        } else {
            out.insert(key, it.value());
        }
    }
}

QString FirstDifference(const DeviceState& a, const DeviceState& b)
{
    QMap<QString, QJsonValue> x;
    QMap<QString, QJsonValue> y;
    Flatten(StateToJson(a), QString(), x);
    Flatten(StateToJson(b), QString(), y);
    for (auto it = x.begin(); it != x.end(); ++it) {
        if (y.value(it.key()) != it.value()) {
            return it.key();
        }
    }
    return QString();
}

}  // namespace

DeviceSession::DeviceSession(int replyTimeoutMs) : timeoutMs_(replyTimeoutMs) {}

DeviceSession::~DeviceSession()
{
    Close();
}

bool DeviceSession::IsOpen() const
{
    return link_ && link_->IsOpen();
}

SessionError DeviceSession::Open(const QString& portName)
{
    Close();
    portName_ = portName;
    linkError_.reset();
    // The driver only says whether opening worked; a missing or forbidden
    // device file is told apart first, so that the user learns what to fix.
    if (portName.startsWith(QLatin1Char('/'))) {
        const QByteArray path = QFile::encodeName(portName);
        if (!QFileInfo::exists(portName)) {
            return Fail(SessionError::Kind::PortMissing, QStringLiteral("%1: no such port").arg(portName));
        }
        if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
            return Fail(SessionError::Kind::PermissionDenied,
                        comm::SerialOpenErrorText(QSerialPort::PermissionError, portName, true, QString()));
        }
    }
    // A thread Qt adopted gets its event dispatcher with its first event
    // loop: make it now, before the reader thread exists to wake it.
    QEventLoop().processEvents();
    link_ = std::make_unique<LCommProc>(this);
    // Headless sessions speak only when asked; Watch turns the poll on.
    link_->SetPollSuspended(true);
    if (!link_->OpenNamed(portName, kBaud, kDataBits, kNoParity, kOneStopBit)) {
        // The driver's own words name the cause (in use, refused, unknown host).
        QString why = link_->LastOpenError();
        link_.reset();
        if (why.isEmpty()) {
            why = QStringLiteral("%1: port busy (in use by another program) or it refused 9600 8N1").arg(portName);
        }
        return Fail(SessionError::Kind::PortBusy, why);
    }
    return {};
}

void DeviceSession::Close()
{
    if (link_) {
        link_->Close();
        link_.reset();
    }
    replies_.clear();
    rawHandler_ = nullptr;
}

bool DeviceSession::event(QEvent* e)
{
    // The reader thread released the reply when it posted it; a session runs
    // on a thread of its own, where no application-wide filter acquires it.
    comm::AcquireEvent(e);
    if (DeliverReply(e, [this] { return link_.get(); },
                     [this](const RecCompleteEvent& r) {
                         if (rawHandler_) {
                             rawHandler_(r.Reply());
                         } else {
                             replies_.push_back(r.Reply());
                         }
                     })) {
        if (loop_ != nullptr) {
            loop_->quit();
        }
        return true;
    }
    if (e->type() == kCommErrEvent) {
        const auto& error = static_cast<const CommErrEvent&>(*e);
        if (link_ && error.DriverId() == link_->Id()) {
            linkError_ = error.Code();
        }
        if (loop_ != nullptr) {
            loop_->quit();
        }
        return true;
    }
    return QObject::event(e);
}

bool DeviceSession::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                  : QDeadlineTimer(timeoutMs, Qt::PreciseTimer);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        loop_ = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (!deadline.isForever()) {
            timer.start(static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
        }
        loop.exec();
        loop_ = nullptr;
    }
    return true;
}

SessionError DeviceSession::LinkError() const
{
    if (!link_) {
        return Fail(SessionError::Kind::LinkFailed, QStringLiteral("%1: not connected").arg(portName_));
    }
    const int code = linkError_.value_or(kErrPortFailed);
    if (code == kErrSilence) {
        return Fail(SessionError::Kind::Silence, QStringLiteral("%1: the device is silent").arg(portName_));
    }
    return Fail(SessionError::Kind::LinkFailed,
                QStringLiteral("%1: the link failed (serial error %2: the port vanished or broke)").arg(portName_).arg(code),
                code);
}

SessionError DeviceSession::ErrorOf(const ReportEvent& reply) const
{
    switch (reply.kind) {
    case ReportKind::Nak:
        return Fail(SessionError::Kind::Nak, QStringLiteral("%1: the device refused a frame (NAK)").arg(portName_));
    case ReportKind::Busy:
        return Fail(SessionError::Kind::DeviceBusy, QStringLiteral("%1: the device is busy").arg(portName_));
    case ReportKind::Error:
        return Fail(SessionError::Kind::DeviceError,
                    QStringLiteral("%1: device error %2").arg(portName_).arg(reply.value), reply.value);
    default:
        return {};
    }
}

SessionError DeviceSession::Exchange(const LCmd& command, ReportEvent& reply)
{
    if (!IsOpen()) {
        return LinkError();
    }
    replies_.clear();
    link_->Send(command.MakeFrame(frame::kModeFramed), true);
    const bool answered = WaitUntil([this] { return !replies_.empty() || linkError_ || !link_->IsOpen(); }, timeoutMs_);
    if (replies_.empty()) {
        SessionError e = answered ? LinkError()
                                  : Fail(SessionError::Kind::Silence,
                                         QStringLiteral("%1: no answer from the device within %2 ms").arg(portName_).arg(timeoutMs_));
        // The frame is still outstanding: a later reply would answer the wrong question.
        Close();
        return e;
    }
    reply = DecodeReport(LCmd(replies_.front()));
    replies_.erase(replies_.begin());
    return ErrorOf(reply);
}

SessionError DeviceSession::Expect(const LCmd& command, ReportKind kind)
{
    ReportEvent reply;
    if (SessionError e = Exchange(command, reply)) {
        return e;
    }
    if (reply.kind != kind) {
        return Fail(SessionError::Kind::NotConfirmed,
                    QStringLiteral("%1: the device answered %2 where %3 was due")
                        .arg(portName_, QLatin1String(ReportKindName(reply.kind)), QLatin1String(ReportKindName(kind))));
    }
    return {};
}

SessionError DeviceSession::ReadState(DeviceState& state)
{
    DeviceState read = state;
    for (const LCmd& inquiry : FullStateInquiries()) {
        ReportEvent reply;
        if (SessionError e = Exchange(inquiry, reply)) {
            return e;
        }
        read.Apply(reply);
    }
    state = read;
    return {};
}

SessionError DeviceSession::Apply(const std::vector<StateChange>& changes)
{
    for (const StateChange& change : changes) {
        ReportEvent reply;
        if (SessionError e = Exchange(change.command, reply)) {
            return e;
        }
        if (!Confirms(change, reply)) {
            return Fail(SessionError::Kind::NotConfirmed,
                        QStringLiteral("%1: a change was not confirmed (the device answered %2 %3)")
                            .arg(portName_, QLatin1String(ReportKindName(reply.kind)))
                            .arg(reply.value));
        }
    }
    return {};
}

SessionError DeviceSession::Restore(const DeviceState& target, int* sent, const DeviceState* current)
{
    DeviceState now;
    if (current != nullptr) {
        now = *current;
    } else if (SessionError e = ReadState(now)) {
        return e;
    }
    DeviceState want = target;
    want.duckingActive = now.duckingActive;
    const std::vector<StateChange> changes = ChangesTo(now, want);
    if (sent != nullptr) {
        *sent = static_cast<int>(changes.size());
    }
    if (SessionError e = Apply(changes)) {
        return e;
    }
    DeviceState after;
    if (SessionError e = ReadState(after)) {
        return e;
    }
    after.duckingActive = want.duckingActive;
    if (after != want) {
        return Fail(SessionError::Kind::VerifyFailed,
                    QStringLiteral("%1: read back after restoring, %2 differs").arg(portName_, FirstDifference(after, want)));
    }
    return {};
}

SessionError DeviceSession::LoadPreset(int n)
{
    return Expect(CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), 0), ReportKind::Ack);
}

SessionError DeviceSession::SavePreset(int n)
{
    return Expect(CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), 1), ReportKind::Ack);
}

SessionError DeviceSession::FactoryDefault()
{
    if (SessionError e = Expect(CM_MCS_RESET(0x00), ReportKind::Ack)) {
        return e;
    }
    return Expect(CM_MCS_SAVELOAD(0x00, 0x00), ReportKind::Ack);
}

SessionError DeviceSession::Watch(const std::function<bool(const ReportEvent&)>& report, int durationMs)
{
    if (!IsOpen()) {
        return LinkError();
    }
    const QDeadlineTimer end = durationMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(durationMs);
    replies_.clear();
    link_->SetPollSuspended(false);
    bool more = true;
    while (more && !end.hasExpired()) {
        const int wait = end.isForever() ? -1 : static_cast<int>(end.remainingTime());
        WaitUntil([this] { return !replies_.empty() || linkError_ || !link_->IsOpen(); }, wait);
        if (linkError_ || !link_->IsOpen()) {
            return LinkError();
        }
        while (more && !replies_.empty()) {
            const ReportEvent e = DecodeReport(LCmd(replies_.front()));
            replies_.erase(replies_.begin());
            if (e.kind == ReportKind::Level) {
                // The device holds its next level until this poll arrives.
                link_->Send(CM_MCS_POLLING(sub::kPoll).MakeFrame(frame::kModeFramed), true);
            }
            more = report(e);
        }
    }
    link_->SetPollSuspended(true);
    // A poll still on the line answers after this: let it land, then forget it.
    WaitUntil([this] { return !link_ || !link_->IsBusy(); }, timeoutMs_);
    replies_.clear();
    return {};
}

namespace {
// The updater's outside world without a window: texts go to the progress
// callback, dialogs end the run.
class SessionUpdateHost final : public UpdateHost {
public:
    std::function<void(const LCmd&)> sendRaw;
    std::function<bool(int)> setBaud;
    std::function<void(int, std::function<void()>)> after;
    std::function<void(int, int, const QString&)> progress;
    QString status;
    int page = 0;
    bool ended = false;
    bool ok = false;
    QString failure;

    void SendRaw(const LCmd& command) override { sendRaw(command); }
    void SetStatusText(const std::string& text) override
    {
        status = QString::fromStdString(text);
        Report();
    }
    void SetProgress(int position) override
    {
        page = position;
        Report();
    }
    bool SetBaudRate(int rate) override { return setBaud(rate); }
    void After(int ms, std::function<void()> action) override { after(ms, std::move(action)); }
    void Information(const std::string&) override { ok = true; }
    void Error(const std::string& text) override { End(QString::fromStdString(text)); }
    void Plain(const std::string& text) override { End(QString::fromStdString(text)); }
    void Disconnect() override { End(ok ? QString() : QStringLiteral("the device did not enter its boot loader")); }

private:
    void Report()
    {
        if (progress) {
            progress(page, firmware::kPages, status);
        }
    }
    void End(const QString& why)
    {
        if (!ended) {
            ended = true;
            failure = why;
        }
    }
};
}  // namespace

SessionError DeviceSession::Update(const std::vector<std::uint8_t>& image,
                                   const std::function<void(int, int, const QString&)>& progress, bool inBootLoader)
{
    if (image.size() != firmware::kImageSize) {
        return Fail(SessionError::Kind::UpdateFailed,
                    QStringLiteral("a firmware image is exactly %1 bytes").arg(firmware::kImageSize));
    }
    if (!IsOpen()) {
        return LinkError();
    }
    SessionUpdateHost host;
    host.progress = progress;
    host.sendRaw = [this](const LCmd& c) {
        if (link_) {
            link_->Send(c.MakeFrame(frame::kModeRaw), true, frame::kModeRaw);
        }
    };
    host.setBaud = [this](int rate) { return link_ && link_->SetBaudRate(rate); };
    host.after = [this, &host](int ms, std::function<void()> action) {
        QTimer::singleShot(ms, this, [&host, action = std::move(action)] {
            if (!host.ended) {
                action();
            }
        });
    };
    LUpdate update(host, image);
    int replies = 0;
    rawHandler_ = [&](const std::vector<std::uint8_t>& bytes) {
        ++replies;
        const LCmd reply(bytes);
        update.OnReply(reply.Sub(), reply.Payload());
    };
    if (inBootLoader) {
        link_->SetBaudRate(LUpdate::kBootLoaderBaud);
        host.sendRaw(CM_MCS_START(boot::kStart));
    } else {
        link_->Send(CM_MCS_IAP_RESET(sub::kIapReset).MakeFrame(frame::kModeFramed), true);
    }
    SessionError result;
    while (!host.ended) {
        const int seen = replies;
        const bool moved = WaitUntil([&] { return host.ended || replies != seen || linkError_; },
                                     timeoutMs_ + LUpdate::kSpeedChangeDelayMs);
        if (linkError_ && !host.ended) {
            if (update.GetState() != 0) {
                result = LinkError();
                break;
            }
            // Nothing answered at this speed: the device may already wait in
            // its boot loader. Try there once, as the window does.
            linkError_.reset();
            link_->SetPollSuspended(true);
            if (!link_->OpenNamed(portName_, LUpdate::kBootLoaderBaud, kDataBits, kNoParity, kOneStopBit)) {
                result = LinkError();
                break;
            }
            host.sendRaw(CM_MCS_START(boot::kStart));
            continue;
        }
        if (!moved) {
            result = Fail(SessionError::Kind::Silence,
                          QStringLiteral("%1: the update stalled: no answer within %2 ms").arg(portName_).arg(timeoutMs_));
            break;
        }
    }
    if (!result && !host.failure.isEmpty()) {
        result = Fail(SessionError::Kind::UpdateFailed, QStringLiteral("%1: update failed: %2").arg(portName_, host.failure));
    }
    host.ended = true;
    rawHandler_ = nullptr;
    Close();
    return result;
}
