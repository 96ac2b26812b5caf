#include "BridgeCore.h"

#include "Commands.h"
#include "DeviceConversation.h"
#include "MergePatch.h"
#include "Mroutine.h"
#include "StateJson.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {
constexpr int kReopenMs = 1000;

// The items a (valid) merge patch of the state document names.
QJsonObject LevelsJson(const DeviceState& state)
{
    QJsonObject out;
    for (int i = 0; i < kStateChannels; ++i) {
        const int p = state.level[i];
        out.insert(QString::fromLatin1(StateChannelName(i)),
                   QJsonObject{{"position", p}, {"text", QString::fromStdString(PositionText(p))}});
    }
    return out;
}

// One patch's changes: done runs once, after the last of them ended, with
// the worst outcome among them.
struct PatchRequest {
    BridgeCore::Done done;
    int left = 0;
    int status = 200;
    QString message;
};
}  // namespace

BridgeCore::BridgeCore(QString portName, QObject* parent) : QObject(parent), portName_(std::move(portName))
{
    DeviceConversation::Options options;
    options.reopenMs = kReopenMs;
    conv_ = std::make_unique<DeviceConversation>(portName_, options);
    counters_.Watch(*conv_, this);
    connect(conv_.get(), &DeviceConversation::stateChanged, this, [this] { Publish(); });
    connect(conv_.get(), &DeviceConversation::onlineChanged, this,
            [this](bool online, const QString& why) { SetOnline(online, why); });
    connect(conv_.get(), &DeviceConversation::openFailed, this, [this](const SessionError& why) { SetOnline(false, why.text); });
}

BridgeCore::~BridgeCore()
{
    // Nobody waits for answers any more.
    conv_->disconnect(this);
    conv_.reset();
}

QString BridgeCore::OfflineText() const
{
    const QString why = lastError_.isEmpty() ? QStringLiteral("the state is being read") : lastError_;
    return QStringLiteral("%1: the device is offline (%2)").arg(portName_, why);
}

void BridgeCore::Open()
{
    conv_->Open();
}

bool BridgeCore::Start(int timeoutMs)
{
    lastError_.clear();
    conv_->Open();
    const QDeadlineTimer deadline(timeoutMs);
    while (!online_ && lastError_.isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (!online_ && lastError_.isEmpty()) {
        lastError_ = QStringLiteral("%1: the state was not read within %2 ms").arg(portName_).arg(timeoutMs);
    }
    return online_;
}

std::optional<QString> BridgeCore::ValidatePatch(const QJsonObject& mergePatch)
{
    if (auto e = ReadOnlyIn(mergePatch)) {
        return e;
    }
    DeviceState scratch;
    return MergeStateJson(mergePatch, scratch, false);
}

std::optional<QString> BridgeCore::ReadOnlyIn(const QJsonObject& mergePatch)
{
    const QJsonValue ducking = mergePatch.value(QLatin1String("ducking"));
    if (ducking.isObject() && ducking.toObject().contains(QLatin1String("active"))) {
        return QStringLiteral("ducking.active: read-only (it shows speech on the microphones)");
    }
    for (const char* header : {"format", "version"}) {
        if (mergePatch.contains(QLatin1String(header))) {
            return QStringLiteral("%1: read-only").arg(QLatin1String(header));
        }
    }
    return std::nullopt;
}

int BridgeCore::StatusOf(const SessionError& e)
{
    switch (e.kind) {
    case SessionError::Kind::None:
        return 200;
    case SessionError::Kind::Acknowledged:
        return 202;
    case SessionError::Kind::Differs:
        return 409;
    case SessionError::Kind::Nak:
    case SessionError::Kind::DeviceBusy:
    case SessionError::Kind::DeviceError:
        return 502;
    case SessionError::Kind::Silence:
        return 504;
    default:
        return 503;
    }
}

void BridgeCore::ApplyPatch(const QJsonObject& mergePatch, Done done)
{
    DeviceState target = conv_->State();
    ItemSet named;
    std::optional<QString> e = ReadOnlyIn(mergePatch);
    if (!e) {
        e = MergeStateJson(mergePatch, target, false, &named);
    }
    if (e) {
        done(400, *e, state_);
        return;
    }
    if (!online_) {
        done(503, OfflineText(), state_);
        return;
    }
    const std::vector<StateChange> changes = CommandsFor(target, named);
    if (changes.empty()) {
        done(200, QString(), state_);
        return;
    }
    auto request = std::make_shared<PatchRequest>();
    request->done = std::move(done);
    request->left = static_cast<int>(changes.size());
    for (const StateChange& c : changes) {
        // Judged at the head of the queue, against what the device holds
        // then (after any load before it), not against what it holds now.
        conv_->Change(
            c,
            [this, request](const SessionError& e, const ReportEvent&) {
                // The first failure outranks an acknowledgement, which
                // outranks a confirmation.
                const int status = StatusOf(e);
                if (request->status < 300 && status > request->status) {
                    request->status = status;
                    request->message = e.text;
                }
                if (--request->left == 0) {
                    request->done(request->status, request->message, state_);
                }
            },
            true);
    }
}

void BridgeCore::Preset(int n, bool save, Done done)
{
    if (n < 1 || n > 3) {
        done(400, QStringLiteral("preset %1: allowed are 1, 2, 3").arg(n), state_);
        return;
    }
    if (!online_) {
        done(503, OfflineText(), state_);
        return;
    }
    conv_->Command(CM_MCS_SAVELOAD(static_cast<std::uint8_t>(n), save ? 1 : 0), !save,
                   [this, done = std::move(done)](const SessionError& e, const ReportEvent&) {
                       done(e ? StatusOf(e) : 200, e.text, state_);
                   });
}

void BridgeCore::LoadPreset(int n, Done done)
{
    Preset(n, false, std::move(done));
}

void BridgeCore::SavePreset(int n, Done done)
{
    Preset(n, true, std::move(done));
}

void BridgeCore::Publish()
{
    // Until the state was read whole, it holds guesses: nothing goes out.
    if (!online_) {
        return;
    }
    const QJsonObject doc = StateToJson(conv_->State());
    const QJsonObject levels = LevelsJson(conv_->State());
    const QJsonObject patch = mergepatch::Diff(state_, doc);
    const QJsonObject levelsPatch = mergepatch::Diff(levels_, levels);
    state_ = doc;
    levels_ = levels;
    if (!patch.isEmpty()) {
        emit stateChanged(patch);
    }
    if (!levelsPatch.isEmpty()) {
        emit levelsChanged(levelsPatch);
    }
}

void BridgeCore::SetOnline(bool online, const QString& why)
{
    if (!online) {
        lastError_ = why;
    }
    if (online != online_) {
        online_ = online;
        // The state goes out before the news that the line is up, so that
        // whoever hears it finds the state in place.
        Publish();
        emit onlineChanged(online);
    }
}
