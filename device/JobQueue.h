// JobQueue: the rules of the conversation with one KESTRA, without a port or
// a timer. The conversation (DeviceConversation) puts the frames it hands out
// on the line, brings every complete reply back, and tells it when a
// deadline or a pause has passed; everything else is decided here, so that
// the rules can be tested as tables of events.
//
// The device promises one reply per frame and nothing about which reply:
// a report may answer any frame, an acknowledgement may stand for a
// report, a poll may draw any report. So:
// - One frame is on the line at a time, and the next complete reply ends its
//   exchange, whatever it is. A frame sent again after its deadline owes one
//   more reply: that late one is absorbed, never taken for the next job's.
// - Every report is applied to the state by its sub byte whenever it comes.
// - A change is judged by what the device reports of its item: confirmed
//   when a report since it was sent shows the value, "the device holds X"
//   when one shows another; when the reply said nothing of the item it is
//   read back with the item's inquiry, and without a report then it was
//   acknowledged only. A refusal (NAK, busy, error) is the device's text.
// - The full read asks the 49 inquiries in order and is complete when every
//   item was reported since it began: the inquiries of items still missing
//   are asked again, then the whole read once more; only then is it an error
//   naming what is missing. A refused inquiry is asked again after a pause.
// - Merge rule: a change replaces a waiting change of the same item unless a
//   barrier (preset load or save, factory default, full read) stands between
//   them; equal changes share one outcome. A change may ask to be judged at
//   the head of the queue against the state then (no frame when the device
//   holds its value already); a load or default that the device accepted
//   makes every item unknown until it is read again.
//
// Waiters are told after the queue has done its bookkeeping for the event,
// so a waiter may add jobs at once.
#pragma once

#include "DeviceState.h"
#include "FullState.h"
#include "Lcmd.h"
#include "SessionError.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class JobQueue {
public:
    // error is false (None or Acknowledged) when the job was done; reply is
    // the reply that ended its exchange.
    using Done = std::function<void(const SessionError& error, const ReportEvent& reply)>;

    struct Limits {
        int resends = 2;          // a frame unanswered at its deadline is sent again this often
        int refusalRetries = 2;   // a refused inquiry (or a busy answer) is asked again this often
        int refusalPauseMs = 50;  // ... after this pause
    };
    // A refused inquiry after all its tries, this many in a row: the device
    // refuses everything, and the read ends with its answer.
    static constexpr int kRefusedInARow = 4;

    explicit JobQueue(QString portName);
    JobQueue(QString portName, Limits limits);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // merge false: the change never replaces, nor is replaced by, another
    // waiting change (a choice made twice goes out twice).
    void AddChange(const StateChange& change, Done done = {}, bool judgeAtHead = false, bool merge = true);
    void AddInquiry(const Inquiry& inquiry, Done done = {});
    void AddRead(Done done = {}, bool front = false);
    // A barrier: preset load or save, factory default. reload: the whole
    // state is read once the device accepted it, and `done` runs after that.
    void AddCommand(const LCmd& command, bool reload = false, Done done = {});
    void AddPoll(bool front = false);

    struct Frame {
        LCmd command;
        bool poll = false;
        bool resend = false;
    };
    // The next frame for the line, when it is free: nothing in flight, no
    // reply owed, no pause. It is then in flight.
    std::optional<Frame> Next();

    struct Heard {
        bool answered = false;  // it ended the exchange in flight
        ItemSet changed;        // settings it changed
        bool levels = false;    // a level bar or the ducking lamp changed
        bool pollNow = false;   // a level report: the device waits for a poll
        bool pollLater = false; // a ducking-state report: a poll after 100 ms
    };
    // `heard` runs once the reply is applied and before any waiter is told,
    // so that whoever mirrors the state has it when a waiter reads it.
    Heard Reply(const ReportEvent& reply, const std::function<void(const Heard&)>& heard = {});

    enum class Late {
        Nothing,  // nothing was waiting
        Resend,   // `resend` is to go on the line again (one more reply owed)
        Given,    // a late reply that never came is given up: the line is free
        Failed,   // unanswered after every resend: the link has failed
    };
    Late Deadline(Frame* resend);

    // After a refusal the queue pauses before asking again (Next() gives
    // nothing meanwhile); the caller ends the pause after PauseMs().
    bool Paused() const { return paused_; }
    int PauseMs() const { return limits_.refusalPauseMs; }
    void EndPause();

    // Every job in flight or waiting fails with `why`; no reply is owed.
    void FailAll(const SessionError& why);
    // The line starts anew (opened again): nothing is owed or in flight.
    void Reset();

    const DeviceState& State() const { return state_; }
    // Nothing in flight, nothing waiting, no reply owed, no pause.
    bool Idle() const;
    bool InFlight() const { return inFlight_.has_value(); }
    int Owed() const { return owed_; }
    std::size_t Waiting() const { return queue_.size(); }
    bool Reading() const;

    SessionError Error(SessionError::Kind kind, const QString& what, int code = 0) const;
    SessionError RefusalOf(const ReportEvent& reply) const;

private:
    enum class Kind { Change, Inquiry, Command, Poll };
    struct Read;
    struct Job {
        Kind kind = Kind::Poll;
        LCmd command;
        StateChange change;   // Change (and a change's read-back): what it sets
        Inquiry inquiry;      // Inquiry
        bool barrier = false;
        bool reload = false;
        bool judge = false;
        bool merge = true;
        bool readBack = false;      // the inquiry that reads a change's item back
        std::uint64_t heardAt = 0;  // the item's report count when the change went out
        std::shared_ptr<Read> read;
        std::vector<Done> waiters;
        int tries = 0;
        int refusals = 0;
    };

    static Job MakeJob(Kind kind, const LCmd& command, Done done);
    static Job InquiryJob(const Inquiry& inquiry, const std::shared_ptr<Read>& read);
    void Queue(Job job, bool front = false);
    void QueueRead(std::vector<Done> waiters, bool front);
    void QueueInquiries(const std::vector<Inquiry>& inquiries, const std::shared_ptr<Read>& read);
    void Ended(Job job, const ReportEvent& reply);
    // A change whose exchange (or read-back) ended without a refusal.
    void Judge(Job job, const ReportEvent& reply);
    void ReadJobEnded(const std::shared_ptr<Read>& read, const SessionError& refusal);
    void EndPass(const std::shared_ptr<Read>& read);
    void FailRead(const std::shared_ptr<Read>& read, const SessionError& why);
    void Finish(Job job, const SessionError& error, const ReportEvent& reply);
    void Tell(std::vector<Done> waiters, const SessionError& error, const ReportEvent& reply);
    void RunNotices();
    bool Holds(const StateChange& change) const;

    QString portName_;
    Limits limits_;
    DeviceState state_;
    std::array<std::uint64_t, item::kCount> heard_{};  // reports of each item so far
    std::deque<Job> queue_;
    std::optional<Job> inFlight_;
    int owed_ = 0;
    bool paused_ = false;
    std::vector<std::weak_ptr<Read>> reads_;
    std::vector<std::function<void()>> notices_;
};

// "mic3.gain", "sub_left.mute", "ganged.sub", "line_source", "ducking.threshold", ...
QString ItemName(int item);
// The item's value in `state`, as a person reads it ("-12.5dB", "on", "cd", "20").
QString ItemValueText(const DeviceState& state, int item);
// The inquiry that asks for an item (the full read's), or none.
std::optional<Inquiry> InquiryForItem(int item);
