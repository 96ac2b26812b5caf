// LCommProc: the KESTRA line discipline on top of LComm.
//
// One frame on the line at a time. A frame submitted while a reply is
// outstanding waits in the queue: appended at the back, or put into the
// single merge slot, which later merging submissions for the same item (sub
// byte and channel) overwrite in place. A merging submission for another item
// is queued behind and becomes the slot, so a fast drag leaves only its last
// position waiting while no other control's change is ever dropped. An
// appended preset load or save, factory default or inquiry ends the slot: a
// change made after a load must not overtake it (the load would overwrite it).
// Every 100 ms while idle (not busy, queue empty, poll not suspended) the
// poll frame 10 02 01 01 05 10 03 04 goes out.
//
// Replies are collected on the reader thread (ReplyCollector) and posted to
// the owner as RecCompleteEvent. Reading and the silence limit then rest
// until the owner has handled the reply and called Advance(), which sends
// the next queued frame: so frames submitted while the owner handles a reply
// go out after it, in order. The owner does both in one call, DeliverReply
// (DeliverReply.h).
//
// All public operations belong to the owner's thread.
#pragma once

#include "Lcomm.h"
#include "ReplyCollector.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

class QTimer;

class LCommProc : public LComm {
public:
    static constexpr int kPollIntervalMs = 100;

    explicit LCommProc(QObject* owner);
    ~LCommProc() override;

    // Starts the poll timer (it exists even when opening fails), then opens.
    bool Open(int portNumber, int baudRate, int dataBits, int parity, int stopBits) override;
    bool OpenInBackground(int portNumber, int baudRate, int dataBits, int parity, int stopBits) override;
    // Stops the poll, empties the queue, closes the port, drops the timer.
    void Close() override;
    // Merging submissions that leave the receive mode as it is.
    bool Write(const std::uint8_t* bytes, std::size_t length) override;
    bool Write(const ByteVector& buffer) override;

    // Submits a frame: the reply is collected framed when the buffer has the
    // outline of a frame, raw otherwise. append: behind everything pending;
    // otherwise into the merge slot. Nothing happens while not open.
    void Send(const ByteVector& buffer, bool append);
    // The same with the receive mode given: raw submissions (firmware pages)
    // must be collected byte by byte even when they happen to look framed.
    void Send(const ByteVector& buffer, bool append, std::uint8_t receiveMode);

    // The reply to the frame on the line is given up: `buffer` goes out now
    // in its place (its owner asks again after its own deadline).
    void Retransmit(const ByteVector& buffer);

    void SetPollSuspended(bool suspended);
    // The owner has handled the last reply: send the next queued frame, or
    // become idle; then reading resumes. Owner thread only.
    void Advance();

    // Observers (tests, diagnostics).
    bool IsBusy() const;
    std::size_t QueueLength() const;
    bool HasMergeSlot() const;
    std::uint8_t ReceiveMode() const;
    bool PollSuspended() const;

    // The poll frame: command 0x01, sub 0x05, framed.
    static const ByteVector& PollFrame();
    // Whether a merging frame may replace a waiting one: both set the same
    // item (command, sub byte and, with two payload bytes, the channel).
    static bool SameTarget(const ByteVector& waiting, const ByteVector& next);
    // Whether an appended frame ends the merge slot (see above).
    static bool IsBarrier(const ByteVector& frame);

protected:
    void OnRxChar(std::uint8_t byte) override;

private:
    void Submit(const ByteVector& buffer, bool append, std::optional<std::uint8_t> receiveMode);
    // Resets the queue and starts the poll timer before either kind of open.
    void Prepare();
    // Under the queue lock: the frame goes on the line now.
    void TransmitLocked(const ByteVector& buffer);
    void PollTick();
    quint32 ReplyTimeMs() const;

    mutable std::mutex queueMutex_;  // receive mode, busy, queue, merge slot, send time
    std::uint8_t receiveMode_ = frame::kModeFramed;
    bool pollSuspended_ = false;
    bool busy_ = false;
    std::deque<ByteVector> queue_;
    std::optional<std::size_t> mergeSlot_;  // index into queue_
    std::chrono::steady_clock::time_point sendTime_{};

    ReplyCollector collector_;  // reader thread only (emptied by Open before it starts)
    std::unique_ptr<QTimer> pollTimer_;
};
