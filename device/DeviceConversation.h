// DeviceConversation: the one owner of the line to one KESTRA. `kestractl`
// (through DeviceSession) and `serve` (through BridgeCore) talk to the
// device only through it.
//
// Jobs. Everything that goes on the line is a job of its JobQueue, which
// holds the rules (the answer rule, the merge rule and its barriers, the
// full read, a change's outcome): see JobQueue.h. This class keeps the line
// and the clocks: each frame's deadline (asked again `retries` times, then
// the link has failed), the pause after a refusal, the polls.
//
// Polls. While online and idle the device is polled every 100 ms (when
// polling is on); every level report is answered with a poll at once and
// every ducking-state report with a poll 100 ms later, the device's pace,
// whatever frame the report answered.
//
// Opening. The port opens on its reader thread: the caller's thread never
// waits for it (a network port may take seconds to answer). Replies that
// arrive while the line settles after opening are leftovers and dropped:
// the only replies not applied to the state.
// Then, with readOnOpen, the whole state is read before onlineChanged(true).
// A failed line fails every waiting job and, with a reopen interval, is
// opened again.
//
// Threads. A conversation lives on the thread that creates it, which runs
// an event loop; every call, callback and signal belongs to that thread. The
// driver's reader thread hands over replies, errors and the outcome of
// opening as posted events: the only hand-over between threads.
#pragma once

#include "DeviceState.h"
#include "FullState.h"
#include "JobQueue.h"
#include "LineSettings.h"
#include "Lcmd.h"
#include "OpenFailure.h"
#include "SessionError.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LCommProc;
class QTimer;

class DeviceConversation : public QObject {
    Q_OBJECT
public:
    static constexpr int kBaud = comm::LineSettings{}.baudRate;
    static constexpr int kPollMs = 100;
    static constexpr int kDuckAnswerMs = 100;

    struct Options {
        int exchangeMs = 1000;     // each reply's deadline
        int retries = 2;           // asked again this often before the link fails
        int reopenMs = -1;         // open again this long after a failure; < 0: never
        int quietMs = 60;          // a network port settles this long after opening (a serial one 12 ms at most)
        bool pollWhenIdle = true;  // the 100 ms poll (answering polls go out regardless)
        bool readOnOpen = true;    // online only once the whole state was read
        int silenceLimitMs = 8000;
    };
    // error is false on success (Acknowledged: done, the value not shown);
    // reply is the reply that ended the exchange.
    using Done = JobQueue::Done;

    DeviceConversation(QString portName, Options options, QObject* parent = nullptr);
    ~DeviceConversation() override;

    // Opens the port on its reader thread; with `wait`, on this thread,
    // returning whether it opened (the window's explicit connect).
    bool Open(bool wait = false);
    void Close();
    // The port is open and settled (jobs may go out).
    bool IsOpen() const;
    bool Online() const { return online_; }
    const QString& PortName() const { return portName_; }
    const DeviceState& State() const { return jobs_.State(); }
    // Nothing in flight and nothing waiting.
    bool Idle() const;
    // Sends nothing more (answering polls and resends neither) until the line
    // is opened again, so that it can be closed with no reply on its way:
    // whoever opens the port next would take that reply for the answer to
    // its own first frame.
    void Hush() { hushed_ = true; }
    // A frame went out whose reply has not come yet.
    bool Awaiting() const { return jobs_.Owed() > 0; }

    // merge false: the change never replaces, nor is replaced by, another
    // waiting change (a choice made twice goes out twice).
    void Change(const StateChange& change, Done done = {}, bool judgeAtHead = false, bool merge = true);
    void Inquire(const Inquiry& inquiry, Done done = {});
    // The whole state: complete when every item was reported since it began.
    void ReadAll(Done done = {});
    // A command the device acknowledges (preset load or save, factory
    // default): a barrier that later changes never merge across. reload: the
    // whole state is read once it is acknowledged, and `done` runs after that.
    void Command(const LCmd& command, bool reload, Done done = {});
    void SetPolling(bool on);
    // Whether (and how soon) a failed line is opened again; < 0: never.
    void SetReopenMs(int ms);
    // A whole-state read is waiting or under way.
    bool Reading() const;
    // Jobs waiting behind the one on the line.
    std::size_t Waiting() const { return jobs_.Waiting(); }
    // What the line showed beside the answers: replies whose checksum is
    // wrong, and our own frame heard back (a loopback plug, a half-duplex adapter).
    struct LineFigures {
        quint64 garbled = 0;
        quint64 echoes = 0;
    };
    const LineFigures& Figures() const { return figures_; }
    // The driver of the open (or opening) line; nullptr when closed.
    LCommProc* Line() const { return line_.get(); }

    // Text of an error for the user, prefixed with the port's name.
    SessionError Error(SessionError::Kind kind, const QString& what, int code = 0) const;
    // The error a refusal (NAK, busy, device error) stands for; none otherwise.
    SessionError RefusalOf(const ReportEvent& reply) const;

signals:
    void opened();
    void openFailed(const SessionError& why);
    void onlineChanged(bool online, const QString& why);
    // The line failed (silence, a vanished port): it is closed.
    void lineLost(const SessionError& why);
    // Every reply, whether it answered a job (answered) or was left over.
    void reportReceived(const LCmd& frame, const ReportEvent& report, quint32 replyMs, bool answered);
    void frameSent(const LCmd& frame, bool poll);
    // An exchange's deadline (or the line's silence limit) passed without its answer.
    void unanswered();
    // The line is opened again after a failure.
    void reopening();
    // The settings or levels changed; `items` names the settings.
    void stateChanged(const ItemSet& items);

protected:
    bool event(QEvent* e) override;

private:
    // Fails at once when there is no line (nothing opens by itself then).
    bool Usable(const Done& done);
    void SendNext();
    void Transmit(const JobQueue::Frame& frame);
    void OnOpened(bool ok, comm::OpenFailure failure);  // a copy: the line that failed is let go first
    void OnReply(const ByteVector& bytes, quint32 replyMs);
    void OnDeadline();
    void LineFailed(const SessionError& why);
    // Closes the line, fails every job with `why`, and goes offline saying `offline`.
    void EndLine(const SessionError& why, const QString& offline);
    void FailAll(const SessionError& why);
    void Settled();
    void Tick();

    QString portName_;
    Options options_;
    std::unique_ptr<LCommProc> line_;
    bool settled_ = false;
    bool online_ = false;
    bool hushed_ = false;
    ByteVector lastSent_;
    LineFigures figures_;
    JobQueue jobs_;
    QTimer* deadline_;
    QTimer* pause_;
    QTimer* poll_;
    int duckAnswers_ = 0;  // a new round when the line ends
    QTimer* settle_;
    QTimer* reopen_;
    int settleRounds_ = 0;
};
