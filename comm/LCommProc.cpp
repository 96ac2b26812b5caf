#include "LCommProc.h"

#include "CommEvents.h"
#include "Commands.h"

#include <limits>

LCommProc::LCommProc(QObject* owner) : LComm(owner) {}

LCommProc::~LCommProc()
{
    // The reader thread calls OnRxChar of this class: stop it while this
    // part of the object still exists.
    LCommProc::Close();
}

const ByteVector& LCommProc::PollFrame()
{
    static const ByteVector frame = LCmd(0x01, 0x05).MakeFrame(frame::kModeFramed);
    return frame;
}

bool LCommProc::Open(int portNumber, int baudRate, int dataBits, int parity, int stopBits)
{
    if (IsOpen()) {
        return false;
    }
    Prepare();
    return LComm::Open(portNumber, baudRate, dataBits, parity, stopBits);
}

bool LCommProc::OpenInBackground(int portNumber, int baudRate, int dataBits, int parity, int stopBits)
{
    if (IsOpen()) {
        return false;
    }
    Prepare();
    return LComm::OpenInBackground(portNumber, baudRate, dataBits, parity, stopBits);
}

void LCommProc::Prepare()
{
    // A reader that ended on an error is joined before its state is reset.
    LComm::Close();
    {
        std::lock_guard lock(queueMutex_);
        busy_ = false;
        queue_.clear();
    }
    collector_.Clear();
}

void LCommProc::Close()
{
    {
        std::lock_guard lock(queueMutex_);
        queue_.clear();
    }
    LComm::Close();
}

bool LCommProc::Write(const std::uint8_t* bytes, std::size_t length)
{
    if (length > kTransmitCapacity || (bytes == nullptr && length > 0)) {
        return false;
    }
    Submit(ByteVector(bytes, bytes + length), std::nullopt);
    return IsOpen();
}

bool LCommProc::Write(const ByteVector& buffer)
{
    return Write(buffer.data(), buffer.size());
}

void LCommProc::Send(const ByteVector& buffer)
{
    Submit(buffer, IsFramed(buffer) ? frame::kModeFramed : frame::kModeRaw);
}

void LCommProc::Send(const ByteVector& buffer, std::uint8_t receiveMode)
{
    Submit(buffer, receiveMode);
}

void LCommProc::Submit(const ByteVector& buffer, std::optional<std::uint8_t> receiveMode)
{
    if (!Ready()) {
        return;
    }
    std::lock_guard lock(queueMutex_);
    // Set at submission even when the frame only waits: the device answers
    // in order, and the mode of the latest submission is the one that counts.
    if (receiveMode) {
        receiveMode_ = *receiveMode;
    }
    if (!busy_) {
        busy_ = true;
        TransmitLocked(buffer);
    } else {
        queue_.push_back(buffer);
    }
}

void LCommProc::TransmitLocked(const ByteVector& buffer)
{
    sendTime_ = std::chrono::steady_clock::now();
    LComm::Write(buffer);
}

void LCommProc::Advance()
{
    // Reading resumes before the next frame goes out, so that its reply
    // finds the reader free and needs no wake-up of its own.
    ReleaseReception();
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.empty()) {
            busy_ = false;
        } else {
            const ByteVector next = std::move(queue_.front());
            queue_.pop_front();
            TransmitLocked(next);
        }
    }
}

void LCommProc::Retransmit(const ByteVector& buffer)
{
    if (!Ready()) {
        return;
    }
    std::lock_guard lock(queueMutex_);
    busy_ = true;
    TransmitLocked(buffer);
}

void LCommProc::OnRxChar(std::uint8_t byte)
{
    std::uint8_t mode;
    {
        std::lock_guard lock(queueMutex_);
        mode = receiveMode_;
    }
    if (!collector_.Feed(byte, mode)) {
        return;
    }
    ByteVector reply = collector_.Take();
    const quint32 elapsed = ReplyTimeMs();
    HoldReception();
    Post(new RecCompleteEvent(std::move(reply), elapsed, Id()));
}

quint32 LCommProc::ReplyTimeMs() const
{
    std::chrono::steady_clock::time_point sent;
    {
        std::lock_guard lock(queueMutex_);
        sent = sendTime_;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count();
    if (ms < 0) {
        return 0;
    }
    constexpr auto kMax = std::numeric_limits<quint32>::max();
    return static_cast<unsigned long long>(ms) >= kMax ? kMax : static_cast<quint32>(ms);
}

bool LCommProc::IsBusy() const
{
    std::lock_guard lock(queueMutex_);
    return busy_;
}

std::size_t LCommProc::QueueLength() const
{
    std::lock_guard lock(queueMutex_);
    return queue_.size();
}

std::uint8_t LCommProc::ReceiveMode() const
{
    std::lock_guard lock(queueMutex_);
    return receiveMode_;
}
