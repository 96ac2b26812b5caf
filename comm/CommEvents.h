// Events the serial driver posts to its owner (normally the main window).
// Their type numbers are the window-message numbers the rest of the program
// knows them by, so the owner's event() can route them like messages.
#pragma once

#include "Lcmd.h"
#include "OpenFailure.h"

#include <QEvent>
#include <QString>
#include <QtGlobal>

#include <cstdint>

inline constexpr QEvent::Type kRxCharEvent = QEvent::Type(1359);
inline constexpr QEvent::Type kRecCompleteEvent = QEvent::Type(1360);
inline constexpr QEvent::Type kCommErrEvent = QEvent::Type(1361);
// Beside the window messages: the outcome of opening in the background.
inline constexpr QEvent::Type kOpenedEvent = QEvent::Type(1362);

// One received byte; only the plain LComm posts it (LCommProc collects
// replies instead).
class RxCharEvent : public QEvent {
public:
    RxCharEvent(std::uint8_t byte, quint64 driverId)
        : QEvent(kRxCharEvent), byte_(byte), driverId_(driverId) {}
    std::uint8_t Byte() const { return byte_; }
    quint64 DriverId() const { return driverId_; }

private:
    std::uint8_t byte_;
    quint64 driverId_;
};

// A complete reply. The driver id tells replies of a closed or replaced
// driver apart from the current one's (see DeliverReply).
class RecCompleteEvent : public QEvent {
public:
    RecCompleteEvent(ByteVector reply, quint32 replyTimeMs, quint64 driverId)
        : QEvent(kRecCompleteEvent), reply_(std::move(reply)), replyTimeMs_(replyTimeMs), driverId_(driverId) {}
    const ByteVector& Reply() const { return reply_; }
    // Milliseconds from handing the frame to the port to the reply's last
    // byte, clamped to 0xFFFFFFFF.
    quint32 ReplyTimeMs() const { return replyTimeMs_; }
    quint64 DriverId() const { return driverId_; }

private:
    ByteVector reply_;
    quint32 replyTimeMs_;
    quint64 driverId_;
};

// A serial error; the codes are listed in Lcomm.h.
class CommErrEvent : public QEvent {
public:
    CommErrEvent(int code, quint64 driverId) : QEvent(kCommErrEvent), code_(code), driverId_(driverId) {}
    int Code() const { return code_; }
    quint64 DriverId() const { return driverId_; }

private:
    int code_;
    quint64 driverId_;
};

// The outcome of LComm::OpenInBackground; `failure` says why it failed.
class OpenedEvent : public QEvent {
public:
    OpenedEvent(bool ok, comm::OpenFailure failure, quint64 driverId)
        : QEvent(kOpenedEvent), ok_(ok), failure_(std::move(failure)), driverId_(driverId) {}
    bool Ok() const { return ok_; }
    const comm::OpenFailure& Failure() const { return failure_; }
    quint64 DriverId() const { return driverId_; }

private:
    bool ok_;
    comm::OpenFailure failure_;
    quint64 driverId_;
};
