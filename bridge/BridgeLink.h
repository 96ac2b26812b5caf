// The worker-thread half of BridgeCore (see BridgeCore.h): owns the driver,
// the queue of jobs for the line and the device state it confirms.
//
// One frame on the line at a time, all of them ours: the driver's own poll is
// off and this link polls when nothing else waits, so each reply is known to
// answer the job in flight. Every reply is also applied to the state by its
// report alone, whatever it answers, as the window does.
#pragma once

#include "DeviceState.h"
#include "Lcmd.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class BridgeCore;
class LCommProc;
class QTimer;

class BridgeLink : public QObject {
public:
    BridgeLink(BridgeCore* core, QString portName);
    ~BridgeLink() override;

    // Worker thread, called queued by the core.
    void Start();
    void Stop();
    void ApplyPatch(int id, const QJsonObject& patch);
    void Preset(int id, int n, bool save);

protected:
    bool event(QEvent* e) override;

private:
    enum class Job { Change, Inquiry, Preset, Poll };
    struct Entry {
        Job kind = Job::Poll;
        LCmd command;
        ReportEvent expect;       // Change: the confirming report
        std::vector<int> waiters;  // requests that complete with this entry
        bool reloadAfter = false;  // Preset: read the whole state once acknowledged
    };
    // A request in progress: the entries it still waits for, its first failure.
    struct Request {
        int left = 0;
        QString error;
    };

    bool Open();
    void QueueFullRead(std::vector<int> waiters);
    void Queue(Entry entry);
    void SendNext();
    void OnReply(const ByteVector& bytes);
    void Resolve(const Entry& done, const ReportEvent& reply);
    void LineFailed(const QString& why);
    void Publish();
    // The state the device will have once every queued change is confirmed.
    DeviceState Expected() const;
    void Complete(const std::vector<int>& ids, bool ok, const QString& error);
    void Tick();

    BridgeCore* core_;
    QString portName_;
    std::unique_ptr<LCommProc> line_;
    QTimer* pollTimer_ = nullptr;
    QTimer* reopenTimer_ = nullptr;
    std::deque<Entry> queue_;
    std::optional<Entry> inFlight_;
    std::map<int, Request> requests_;
    DeviceState state_;
    std::array<std::uint8_t, kStateChannels> levels_{};
    bool online_ = false;  // the state was read whole since the line opened
    bool published_ = false;
    DeviceState publishedState_;
    std::array<std::uint8_t, kStateChannels> publishedLevels_{};
};
