#include "DeviceSession.h"

#include "CommEvents.h"
#include "DeviceConversation.h"
#include "Commands.h"
#include "FirmwareImage.h"
#include "FullState.h"
#include "LinkSide.h"
#include "UpdateRun.h"
#include "StateJson.h"

#include <QDeadlineTimer>
#include <QEventLoop>

namespace {
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
    return conv_ && conv_->IsOpen();
}

SessionError DeviceSession::NotOpen() const
{
    if (lineError_) {
        return *lineError_;
    }
    return Fail(SessionError::Kind::LinkFailed, QStringLiteral("%1: not connected").arg(portName_));
}

void DeviceSession::Wake()
{
    wait_.Wake();
}

SessionError DeviceSession::Open(const QString& portName)
{
    Close();
    portName_ = portName;
    lineError_.reset();
    // A thread Qt adopted gets its event dispatcher with its first event
    // loop: make it now, before the reader thread exists to wake it.
    QEventLoop().processEvents();
    DeviceConversation::Options options;
    options.exchangeMs = timeoutMs_;
    options.pollWhenIdle = false;  // headless sessions speak only when asked; Watch polls
    options.readOnOpen = false;
    conv_ = std::make_unique<DeviceConversation>(portName, options);
    bool opened = false;
    QObject::connect(conv_.get(), &DeviceConversation::opened, this, [this, &opened] {
        opened = true;
        Wake();
    });
    QObject::connect(conv_.get(), &DeviceConversation::openFailed, this, [this](const SessionError& why) {
        lineError_ = why;
        Wake();
    });
    QObject::connect(conv_.get(), &DeviceConversation::onlineChanged, this, [this](bool online, const QString& why) {
        if (!online && !lineError_) {
            lineError_ = Fail(SessionError::Kind::LinkFailed, why);
        }
        Wake();
    });
    conv_->Open();
    WaitUntil([&] { return opened || lineError_.has_value(); }, -1);
    if (!opened) {
        SessionError why = *lineError_;
        Close();
        if (why.kind == SessionError::Kind::PortMissing) {
            why.text = QStringLiteral("%1: no such port").arg(portName);  // short: scripts match these words
        }
        return why;
    }
    return {};
}

void DeviceSession::Close()
{
    if (conv_) {
        conv_->disconnect(this);
        if (conv_->IsOpen() && conv_->Awaiting()) {
            // The next program on this port must not hear our last reply
            // (an answering poll is often on its way).
            conv_->Hush();
            QObject::connect(conv_.get(), &DeviceConversation::reportReceived, this, [this] { Wake(); });
            WaitUntil([this] { return !conv_->Awaiting(); }, timeoutMs_);
        }
        conv_->Close();
        conv_.reset();
    }
}

bool DeviceSession::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return wait_.Until(done, timeoutMs);
}

SessionError DeviceSession::Run(const Submit& submit)
{
    if (!IsOpen()) {
        return NotOpen();
    }
    std::optional<SessionError> result;
    submit([this, &result](const SessionError& e) {
        if (!result) {
            result = e;
        }
        Wake();
    });
    // Every job ends: answered, refused, or failed with the line.
    WaitUntil([&] { return result.has_value(); }, -1);
    if (*result && (result->kind == SessionError::Kind::Silence || result->kind == SessionError::Kind::LinkFailed)) {
        Close();
    }
    return *result;
}

SessionError DeviceSession::ReadState(DeviceState& state)
{
    SessionError e = Run([this](auto done) {
        conv_->ReadAll([done](const SessionError& error, const ReportEvent&) { done(error); });
    });
    if (!e) {
        state = conv_->State();
    }
    return e;
}

SessionError DeviceSession::Apply(const std::vector<StateChange>& changes, int* acknowledged)
{
    for (const StateChange& change : changes) {
        const SessionError e = Run([this, &change](auto done) {
            conv_->Change(change, [done](const SessionError& error, const ReportEvent&) { done(error); });
        });
        if (e) {
            return e;
        }
        if (e.kind == SessionError::Kind::Acknowledged && acknowledged != nullptr) {
            ++*acknowledged;
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
    const std::vector<StateChange> changes = RestoreChanges(now, want);
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
    return Run([this, n](auto done) {
        conv_->Command(CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), 0), false,
                       [done](const SessionError& error, const ReportEvent&) { done(error); });
    });
}

SessionError DeviceSession::SavePreset(int n)
{
    return Run([this, n](auto done) {
        conv_->Command(CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), 1), false,
                       [done](const SessionError& error, const ReportEvent&) { done(error); });
    });
}

SessionError DeviceSession::FactoryDefault()
{
    for (const LCmd& command : {LCmd(CM_MCS_RESET(0x00)), LCmd(CM_MCS_SAVELOAD(0x00, 0x00))}) {
        if (SessionError e = Run([this, &command](auto done) {
                conv_->Command(command, false, [done](const SessionError& error, const ReportEvent&) { done(error); });
            })) {
            return e;
        }
    }
    return {};
}

SessionError DeviceSession::Watch(const std::function<bool(const ReportEvent&)>& report, int durationMs)
{
    if (!IsOpen()) {
        return NotOpen();
    }
    const QDeadlineTimer end = durationMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(durationMs);
    std::vector<ReportEvent> events;
    const QMetaObject::Connection heard = QObject::connect(
        conv_.get(), &DeviceConversation::reportReceived, this,
        [this, &events](const LCmd&, const ReportEvent& e, quint32, bool) {
            events.push_back(e);
            Wake();
        });
    conv_->SetPolling(true);
    bool more = true;
    while (more && !end.hasExpired()) {
        const int wait = end.isForever() ? -1 : static_cast<int>(end.remainingTime());
        WaitUntil([&] { return !events.empty() || !IsOpen(); }, wait);
        if (!IsOpen()) {
            const SessionError e = NotOpen();
            Close();
            return e;
        }
        std::vector<ReportEvent> batch;
        batch.swap(events);
        for (const ReportEvent& e : batch) {
            if (more) {
                more = report(e);
            }
        }
    }
    QObject::disconnect(heard);
    conv_->SetPolling(false);
    // A poll still on the line answers after this: let it land.
    WaitUntil([this] { return !conv_ || conv_->Idle(); }, timeoutMs_);
    return {};
}
namespace {
// What the command line sees of an update: progress, and how it ended. A
// dialog the window would show ends the run here.
class SessionUpdateView final : public UpdateView {
public:
    std::function<void(const UpdateProgress&)> progress;
    std::function<void()> wake;
    std::optional<SessionError> result;
    QString port;
    int silenceMs = 0;

    void Progress(const UpdateProgress& shown) override
    {
        if (progress) {
            progress(shown);
        }
    }
    void Information(const std::string&) override {}
    void Error(const std::string& text) override { Refuse(SessionError::Kind::UpdateFailed, text); }
    void Plain(const std::string& text) override { Refuse(SessionError::Kind::UpdateFailed, text); }
    void Ended(UpdateEnd how, int code) override
    {
        switch (how) {
        case UpdateEnd::Finished:
            Set({});
            break;
        case UpdateEnd::NotInBootLoader:
            Refuse(SessionError::Kind::UpdateFailed, "the device did not enter its boot loader");
            break;
        case UpdateEnd::NoBootLoader:
            Set(Fail(SessionError::Kind::Silence,
                       QStringLiteral("%1: no boot loader answered at %2 baud either").arg(port).arg(LUpdate::kBootLoaderBaud)));
            break;
        case UpdateEnd::LineFailed:
            Set(code == kErrSilence
                    ? Fail(SessionError::Kind::Silence,
                             QStringLiteral("%1: the update stalled: no answer within %2 ms").arg(port).arg(silenceMs))
                    : Fail(SessionError::Kind::LinkFailed,
                             QStringLiteral("%1: the link failed (serial error %2: the port vanished or broke)").arg(port).arg(code),
                             code));
            break;
        }
    }

private:
    void Refuse(SessionError::Kind kind, const std::string& text)
    {
        Set(Fail(kind, QStringLiteral("%1: update failed: %2").arg(port, QString::fromStdString(text))));
    }
    void Set(const SessionError& e)
    {
        if (!result) {
            result = e;
        }
        wake();
    }
};
}  // namespace

SessionError DeviceSession::Update(const std::vector<std::uint8_t>& image,
                                   const std::function<void(const UpdateProgress&)>& progress, bool inBootLoader)
{
    if (image.size() != firmware::kImageSize) {
        return Fail(SessionError::Kind::UpdateFailed,
                    QStringLiteral("a firmware image is exactly %1 bytes").arg(firmware::kImageSize));
    }
    if (!IsOpen()) {
        return NotOpen();
    }
    // The run opens the port itself, at the speeds the boot loader needs.
    Close();
    SessionUpdateView view;
    view.progress = progress;
    view.wake = [this] { Wake(); };
    view.port = portName_;
    view.silenceMs = timeoutMs_;
    UpdateRun run(view, image, timeoutMs_);
    if (!run.Start(0, portName_, inBootLoader)) {
        return Fail(SessionError::Kind::LinkFailed, QStringLiteral("%1: the port did not open again for the update").arg(portName_));
    }
    WaitUntil([&] { return view.result.has_value(); }, -1);
    run.End();
    return *view.result;
}
