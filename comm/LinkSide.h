// What a port's reader thread sees of the link it serves (LComm): the flags
// the two threads share and the three calls the reader makes. The reader
// knows nothing else of the link, so that neither includes the other.
#pragma once

#include "OpenFailure.h"

#include <QSerialPort>
#include <QString>

#include <atomic>
#include <cstdint>

// The codes OnError is given (their meaning: Lcomm.h).
inline constexpr int kErrSilence = 0;
inline constexpr int kErrPortFailed = 1;
inline constexpr int kErrReadFailed = 2;
inline constexpr int kErrReadRefused = 3;
inline constexpr int kErrCloseTimeout = 5;
inline constexpr int kErrUnexpected = 6;

namespace comm {

// The code a serial port's error while open is reported with; -1: not reported.
int ErrorCodeFor(QSerialPort::SerialPortError error);

struct LinkFlags {
    std::atomic<bool> open{false};
    std::atomic<bool> holdRequested{false};  // reception held (set by the reader, cleared by the owner)
    std::atomic<bool> dataWaiting{false};    // bytes arrived while held; whoever takes it drains them
};

class LinkEvents {
public:
    // Reader thread: every received byte.
    virtual void OnRxChar(std::uint8_t byte) = 0;
    // Reader thread (the closing thread for code 5).
    virtual void OnError(int code) = 0;
    // Reader thread, after a background open.
    virtual void OnOpened(bool ok, const OpenFailure& failure) = 0;

protected:
    ~LinkEvents() = default;
};

}  // namespace comm
