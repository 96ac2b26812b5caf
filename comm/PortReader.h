// The reader thread of one open port (internal to LComm).
//
// The QSerialPort, the silence timer and the object that receives requests
// from other threads are all created inside run(), on this thread, because
// serial notifiers and timers made on another thread only half work. Other
// threads talk to it by posting: transmit, release reception, baud rate,
// stop. It never waits for another thread, so closing can always join it.
#pragma once

#include "Lcmd.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <future>
#include <mutex>

class LComm;
class QObject;

namespace comm {

struct PortSettings {
    QString path;  // a port name (PortName.h)
    int baudRate = 9600;
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two
    int silenceLimitMs = 8000;
};

class PortReader : public QThread {
public:
    static constexpr const char* kThreadName = "KestraReader";

    PortReader(LComm* link, PortSettings settings);
    ~PortReader() override;

    // Starts the thread and waits until the port is open and configured;
    // false when it could not be, and then the thread has ended.
    bool StartAndOpen();
    // After a failed StartAndOpen: why, for the user.
    QString OpenError() const { return openError_; }

    void Transmit(ByteVector bytes);
    // Reading resumes after a reply was handed over; the silence limit runs again.
    void ReleaseReception();
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
    // ending: the thread ends after this report, so the link is no longer open.
    void ReportError(int code, bool ending);

    PortSettings settings_;
    std::promise<bool> opened_;
    QString openError_;  // written by the thread before opened_ is set

    std::mutex linkMutex_;  // held while calling the link, and by Detach
    LComm* link_;

    std::mutex contextMutex_;
    Context* context_ = nullptr;
    std::atomic<bool> stopRequested_{false};

    // QThread::wait() orders nothing that a sanitiser can see; this does.
    std::mutex endMutex_;
    bool ended_ = false;

    friend class Context;
};

}  // namespace comm
