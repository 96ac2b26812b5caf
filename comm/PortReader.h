// The reader thread of one open port (internal to LComm, which it knows
// only as LinkSide.h shows it).
//
// The QSerialPort, the silence timer and the object that receives requests
// from other threads are all created inside run(), on this thread, because
// serial notifiers and timers made on another thread only half work. Other
// threads talk to it by posting: transmit, drain after a release, baud rate,
// stop. It never waits for another thread, so closing can always join it.
//
// The exchange path avoids the thread hop where it can. On a serial port of a
// Unix system the owner writes a frame straight to the port's descriptor
// (a write() that never blocks; the descriptor is withdrawn under
// writeMutex_ before the port closes); a write that does not go out whole, or
// any write while an earlier one is still queued, goes through the reader so
// the order holds. Releasing reception after a reply is two atomic flags; the
// reader is woken only when bytes already wait. The silence limit is one
// timer that, when it fires, measures from the last activity (received
// byte, write, release) instead of being restarted at each of them.
#pragma once

#include "Lcmd.h"
#include "LineSettings.h"
#include "LinkSide.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <future>
#include <mutex>

class QObject;

namespace comm {

struct PortSettings {
    QString path;  // a port name (PortName.h)
    LineSettings line;
    int silenceLimitMs = 8000;
};

class PortReader : public QThread {
public:
    static constexpr const char* kThreadName = "KestraReader";

    PortReader(LinkEvents* link, LinkFlags& flags, PortSettings settings);
    ~PortReader() override;

    // Starts the thread and waits until the port is open and configured;
    // false when it could not be, and then the thread has ended.
    bool StartAndOpen();
    // Starts the thread and returns at once; the link hears the outcome
    // through LComm::OnOpened (from this thread).
    void StartInBackground();
    // Still trying to open (a network port may take seconds to answer).
    bool Opening() const { return opening_.load(); }
    // After a failed StartAndOpen: why.
    const OpenFailure& Failure() const { return openFailure_; }

    void Transmit(ByteVector bytes);
    // After a release: the bytes that arrived while reception was held are read.
    void ReleaseReception();
    // Something happened on the line: the silence limit counts from now.
    void MarkActivity();
    bool SetBaudRate(int rate);
    // Ends the thread without an error report; returns at once.
    void RequestStop();
    // After a join that timed out: from now on the thread never calls the link.
    void Detach();

    // The reader thread's side, defined in PortReader.cpp.
    class Context;

private:
    void run() override;
    // Runs fn(context) on this thread; false when it no longer takes requests.
    template <class Fn>
    bool Post(Fn&& fn);
    // Hands a received byte to the link; true when the link holds reception
    // because the byte completed a reply.
    bool DeliverByte(std::uint8_t byte);
    // Whether reception is held (or the link is gone).
    bool Held();
    // Bytes wait while reception may be held: leaves them for the release,
    // or returns true when the release came meanwhile and they are to be read now.
    bool ParkData();
    // The port is about to close: no more direct writes.
    void StopDirectWrites();
    // Milliseconds since the last activity.
    qint64 IdleMs() const;
    // ending: the thread ends after this report, so the link is no longer open.
    void ReportError(int code, bool ending);
    void ReportOpened(bool ok);

    PortSettings settings_;
    std::promise<bool> opened_;
    bool announce_ = false;  // StartInBackground: tell the link, nobody waits on opened_
    std::atomic<bool> opening_{true};
    OpenFailure openFailure_;  // written by the thread before opened_ is set

    std::mutex linkMutex_;  // held while calling the link or using its flags, and by Detach
    LinkEvents* link_;
    LinkFlags* flags_;

    std::mutex contextMutex_;
    Context* context_ = nullptr;
    std::atomic<bool> stopRequested_{false};

    std::mutex writeMutex_;  // the descriptor and the count of queued writes
    int directFd_ = -1;      // -1: every write goes through the reader
    int queuedWrites_ = 0;   // writes handed to the reader and not yet on the line
    std::atomic<qint64> activityNs_{0};

    // QThread::wait() orders nothing that a sanitiser can see; this does.
    std::mutex endMutex_;
    bool ended_ = false;

    friend class Context;
};

}  // namespace comm
