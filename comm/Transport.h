// One way of reaching the device's serial line: a local serial port, a raw
// TCP connection to a device server, or telnet with the COM-PORT-CONTROL
// option (RFC 2217). The reader thread creates, opens, reads, writes and
// closes it, all on that thread; nothing here is shared with another thread.
//
// The byte calls are named as QIODevice's, so that the reader reads any
// transport exactly as it read the serial port.
//
// Failures while open reach onFailure as the link's error codes (Lcomm.h);
// a transport reports the first one and stays quiet afterwards until closed.
#pragma once

#include "LineSettings.h"
#include "OpenFailure.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace comm {

class Transport {
public:
    virtual ~Transport() = default;

    // Opens and configures the line; false with Failure() set when it
    // cannot (its text is for the user: what failed and what to do).
    virtual bool Open(const LineSettings& line) = 0;
    // Changes the line format while open; false when refused (the transport
    // stays open and usable).
    virtual bool SetLine(const LineSettings& line) = 0;

    virtual qint64 bytesAvailable() const = 0;
    virtual qint64 read(char* data, qint64 maxSize) = 0;
    virtual void write(const char* data, qint64 size) = 0;
    // Hands what was written to the system now.
    virtual void flush() = 0;
    virtual void close() = 0;
    // Bytes written but not yet handed to the system.
    virtual qint64 bytesToWrite() const { return 0; }
    // A non-blocking descriptor that another thread may write() to directly,
    // or -1: only a local serial port on a Unix system has one.
    virtual int DirectWriteHandle() const { return -1; }

    const OpenFailure& Failure() const { return failure_; }

    std::function<void()> onReadyRead;
    std::function<void()> onBytesWritten;  // bytesToWrite() went down
    std::function<void(int code)> onFailure;

protected:
    void SetFailure(OpenFailure::Kind kind, const QString& text) { failure_ = {kind, text}; }

private:
    OpenFailure failure_;
};

}  // namespace comm
