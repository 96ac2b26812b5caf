// LComm: one serial port owned by a window (the "owner", any QObject).
//
// Open starts a reader thread that owns the QSerialPort; the owner's thread
// (normally the user-interface thread) calls every public operation, and the
// reader thread calls OnRxChar and OnError. Notifications reach the owner as
// posted events (CommEvents.h), so the reader never waits for the owner and
// Close can always end it promptly.
//
// Error codes handed to OnError and posted as CommErrEvent:
//
//   0  silence: nothing happened for the silence limit (8000 ms): no byte
//      received, no transmit request, no release, no stop. The limit does not
//      run while a reply is with the owner (see LCommProc). The reader thread ends.
//   1  the port failed: QSerialPort ResourceError (device unplugged, peer of
//      a pseudo-terminal gone), DeviceNotFoundError, PermissionError or
//      OpenError while open. The reader thread ends.
//   2  a read failed: QSerialPort ReadError. The port is closed and the
//      reader thread ends, because a failed read is the first of an endless
//      storm of errors when the other end has vanished.
//   3  a byte that the port announced could not be read (read() returned an
//      error); reading goes on at the next arrival.
//   5  Close: the reader thread did not end within 8000 ms of the stop
//      request; it is abandoned and never calls this object again.
//   6  any other QSerialPort error while open (UnknownError,
//      UnsupportedOperationError, TimeoutError, NotOpenError). The reader
//      thread ends.
//   4  is never raised. QSerialPort WriteError is not reported: nothing here
//      waits for a write to complete, and a dead port shows on the read side.
//
// Network ports (tcp://, rfc2217://) map onto the same codes: the server
// closing or resetting the connection, or any other socket error while
// connected (RemoteHostClosedError, NetworkError, ...), is 1, the unplugged
// adapter of a network port. A speed change over raw TCP, or one an RFC 2217
// server does not confirm within 3 s, is refused (SetBaudRate false), not an error.
// Failures to open are never posted: LastOpenError() says what went wrong.
//
// When the reader thread ends on an error it closes the port first, so each
// failure is reported exactly once, and the driver is no longer open.
#pragma once

#include "Lcmd.h"
#include "LineSettings.h"
#include "LinkSide.h"

#include <QSerialPort>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class QEvent;
class QObject;

namespace comm {
class PortReader;
}  // namespace comm


class LComm : public comm::LinkEvents {
public:
    static constexpr std::size_t kTransmitCapacity = 1024;
    static constexpr int kSilenceLimitMs = 8000;
    static constexpr int kCloseWaitMs = 8000;

    explicit LComm(QObject* owner);
    LComm(const LComm&) = delete;
    LComm& operator=(const LComm&) = delete;
    virtual ~LComm();

    // Opens the port of this number (or the process-wide override) and starts
    // the reader thread. parity: 0 none, 1 odd, 2 even, 3 mark, 4 space;
    // stopBits: 0 one, 1 one and a half, 2 two. False, with no thread left
    // behind and no error posted, when the driver is already open or the port
    // is missing, in use or refuses the settings.
    // The port opened is the override if set, else the driver's own name
    // (SetPortName), else the number's device.
    virtual bool Open(int portNumber, int baudRate, int dataBits, int parity, int stopBits);
    // Opens a port by name (PortName.h: COMn, a device path, tcp://HOST:PORT,
    // rfc2217://HOST:PORT) through the same virtual Open, so a derived
    // driver's opening steps run as well. The name stays for later Opens.
    bool OpenNamed(const QString& portName, const comm::LineSettings& line)
    {
        SetPortName(portName);
        return Open(0, line);
    }
    // The same as the five numbers of Open, in one value.
    bool Open(int portNumber, const comm::LineSettings& line)
    {
        return Open(portNumber, line.baudRate, line.dataBits, line.parity, line.stopBits);
    }
    bool OpenInBackground(int portNumber, const comm::LineSettings& line)
    {
        return OpenInBackground(portNumber, line.baudRate, line.dataBits, line.parity, line.stopBits);
    }
    // The same without waiting: the port opens on the reader thread and the
    // owner gets an OpenedEvent (CommEvents.h) with the outcome. Meanwhile
    // IsOpen() is true but nothing may be written; Close() returns at once
    // (a reader still connecting is left to finish and end by itself).
    virtual bool OpenInBackground(int portNumber, int baudRate, int dataBits, int parity, int stopBits);
    void SetPortName(const QString& portName) { portName_ = portName; }
    // Opens exactly the driver's own name, whatever the process-wide
    // override says: a search tries each port it lists, not the run's port.
    void IgnorePortOverride(bool on) { ignoreOverride_ = on; }
    QString GetPortName() const { return portName_; }
    // Why the last Open failed (kind None after success), and its words for the user.
    const comm::OpenFailure& LastOpenFailure() const { return lastOpenFailure_; }
    QString LastOpenError() const { return lastOpenFailure_.text; }
    // Stops and joins the reader thread; safe in every state and returns
    // promptly. Replies and errors this driver posted before are tagged with
    // its old id: Id() changes here, so the owner can drop them.
    virtual void Close();
    // Transmits now. False (nothing sent) when not open or longer than the
    // 1024-byte transmit buffer. Successive writes go out in order.
    virtual bool Write(const std::uint8_t* bytes, std::size_t length);
    virtual bool Write(const ByteVector& buffer);

    // 8 data bits, no parity, one stop bit at this rate; false when not open
    // or refused. Waits for the reader thread to apply it.
    bool SetBaudRate(int rate);

    bool IsOpen() const { return flags_.open.load(); }
    // Open and through opening: frames may be written.
    bool Ready() const;
    // Process-unique, never a reused number; renewed by Close.
    quint64 Id() const { return id_.load(); }
    QObject* Owner() const { return owner_; }
    // A reader thread exists and has not finished (tests).
    bool ReaderRunning() const;

    // Shortens (or lengthens) the silence limit from the next Open (tests).
    void SetSilenceLimitMs(int ms) { silenceLimitMs_ = ms; }

    // See PortName.h.
    static QString PortName(int portNumber);
    static void SetPortOverride(const QString& path);
    static QString PortOverride();

protected:
    // Reader thread: every received byte. Posts RxCharEvent.
    void OnRxChar(std::uint8_t byte) override;
    // Reader thread (closing thread for code 5): posts CommErrEvent.
    void OnError(int code) override;
    // Reader thread, after OpenInBackground: posts OpenedEvent.
    void OnOpened(bool ok, const comm::OpenFailure& failure) override;

    // Posts an event to the owner (takes it; dropped when there is no owner).
    void Post(QEvent* e) const;

    // From OnRxChar, before the reply is posted: read nothing more, and let
    // the silence limit rest, until ReleaseReception. Bytes that arrive
    // meanwhile wait in the port.
    void HoldReception() { flags_.holdRequested.store(true); }
    // Owner thread: reading resumes and the silence limit starts again. The
    // reader is woken only when bytes already wait for it.
    void ReleaseReception();

private:
    bool Start(int portNumber, int baudRate, int dataBits, int parity, int stopBits, bool background);

    QObject* owner_;
    std::atomic<quint64> id_;
    comm::LinkFlags flags_;  // shared with the reader thread
    int silenceLimitMs_ = kSilenceLimitMs;
    bool ignoreOverride_ = false;
    QString portName_;
    comm::OpenFailure lastOpenFailure_;
    std::unique_ptr<comm::PortReader> reader_;
};
