#include "BridgeCore.h"

#include "BridgeLink.h"
#include "MergePatch.h"
#include "PostedCall.h"
#include "StateJson.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

BridgeCore::BridgeCore(QString portName, QObject* parent) : QObject(parent), portName_(std::move(portName))
{
    thread_.setObjectName(QStringLiteral("bridge-link"));
}

BridgeCore::~BridgeCore()
{
    if (link_ != nullptr) {
        // The link ends on its own thread, which then ends too (and deletes
        // the link as it finishes).
        PostCall(link_, [link = link_] {
            link->Stop();
            link->deleteLater();
            QThread::currentThread()->quit();
        });
        thread_.wait();
    }
}

bool BridgeCore::start(int timeoutMs)
{
    if (link_ == nullptr) {
        link_ = new BridgeLink(this, portName_);
        link_->moveToThread(&thread_);
        thread_.start();
        PostCall(link_, [link = link_] { link->Start(); });
    }
    lastError_.clear();
    const QDeadlineTimer deadline(timeoutMs);
    while (!online_ && lastError_.isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (!online_ && lastError_.isEmpty()) {
        lastError_ = QStringLiteral("%1: the state was not read within %2 ms").arg(portName_).arg(timeoutMs);
    }
    started_ = true;
    return online_;
}

bool BridgeCore::event(QEvent* e)
{
    return RunPostedCall(e) || QObject::event(e);
}

std::optional<QString> BridgeCore::validatePatch(const QJsonObject& mergePatch)
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
    DeviceState scratch;
    return MergeStateJson(mergePatch, scratch, false);
}

int BridgeCore::Register(Done done)
{
    const int id = nextId_++;
    waiting_.emplace(id, std::move(done));
    return id;
}

void BridgeCore::applyPatch(const QJsonObject& mergePatch, Done done)
{
    if (auto e = validatePatch(mergePatch)) {
        done(false, *e, state_);
        return;
    }
    if (link_ == nullptr) {
        done(false, QStringLiteral("%1: not started").arg(portName_), state_);
        return;
    }
    const int id = Register(std::move(done));
    PostCall(link_, [link = link_, id, mergePatch] { link->ApplyPatch(id, mergePatch); });
}

void BridgeCore::loadPreset(int n, Done done)
{
    if (n < 1 || n > 3 || link_ == nullptr) {
        done(false, QStringLiteral("preset %1: allowed are 1, 2, 3").arg(n), state_);
        return;
    }
    const int id = Register(std::move(done));
    PostCall(link_, [link = link_, id, n] { link->Preset(id, n, false); });
}

void BridgeCore::savePreset(int n, Done done)
{
    if (n < 1 || n > 3 || link_ == nullptr) {
        done(false, QStringLiteral("preset %1: allowed are 1, 2, 3").arg(n), state_);
        return;
    }
    const int id = Register(std::move(done));
    PostCall(link_, [link = link_, id, n] { link->Preset(id, n, true); });
}

void BridgeCore::Publish(const DeviceState& state, const QJsonObject& levels)
{
    const QJsonObject doc = StateToJson(state);
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
        emit onlineChanged(online);
    }
}

void BridgeCore::Finish(int id, bool ok, const QString& error)
{
    auto it = waiting_.find(id);
    if (it == waiting_.end()) {
        return;
    }
    Done done = std::move(it->second);
    waiting_.erase(it);
    done(ok, error, state_);
}
