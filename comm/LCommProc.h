// LCommProc: the KESTRA line discipline on top of LComm.
//
// One frame on the line at a time: a frame submitted while a reply is
// outstanding waits in the queue, in order. What goes on the line, when to
// poll and which waiting change a later one replaces is its owner's choice
// (the engine, DeviceConversation; the firmware updater's own run).
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

class LCommProc : public LComm {
public:
    explicit LCommProc(QObject* owner);
    ~LCommProc() override;

    // Empties the queue, then opens.
    using LComm::Open;
    using LComm::OpenInBackground;
    bool Open(int portNumber, int baudRate, int dataBits, int parity, int stopBits) override;
    bool OpenInBackground(int portNumber, int baudRate, int dataBits, int parity, int stopBits) override;
    // Empties the queue and closes the port.
    void Close() override;
    // Submissions that leave the receive mode as it is.
    bool Write(const std::uint8_t* bytes, std::size_t length) override;
    bool Write(const ByteVector& buffer) override;

    // Submits a frame behind everything pending: the reply is collected
    // framed when the buffer has the outline of a frame, raw otherwise.
    // Nothing happens while not open.
    void Send(const ByteVector& buffer);
    // The same with the receive mode given: raw submissions (firmware pages)
    // must be collected byte by byte even when they happen to look framed.
    void Send(const ByteVector& buffer, std::uint8_t receiveMode);
    void Send(const ByteVector& buffer, bool) = delete;  // there is no merging any more

    // The reply to the frame on the line is given up: `buffer` goes out now
    // in its place (its owner asks again after its own deadline).
    void Retransmit(const ByteVector& buffer);

    // The owner has handled the last reply: send the next queued frame, or
    // become idle; then reading resumes. Owner thread only.
    void Advance();

    // Observers (tests, diagnostics).
    bool IsBusy() const;
    std::size_t QueueLength() const;
    std::uint8_t ReceiveMode() const;

    // The poll frame: command 0x01, sub 0x05, framed.
    static const ByteVector& PollFrame();

protected:
    void OnRxChar(std::uint8_t byte) override;

private:
    void Submit(const ByteVector& buffer, std::optional<std::uint8_t> receiveMode);
    // Resets the queue before either kind of open.
    void Prepare();
    // Under the queue lock: the frame goes on the line now.
    void TransmitLocked(const ByteVector& buffer);
    quint32 ReplyTimeMs() const;

    mutable std::mutex queueMutex_;  // receive mode, busy, queue, send time
    std::uint8_t receiveMode_ = frame::kModeFramed;
    bool busy_ = false;
    std::deque<ByteVector> queue_;
    std::chrono::steady_clock::time_point sendTime_{};

    ReplyCollector collector_;  // reader thread only (emptied by Open before it starts)
};
