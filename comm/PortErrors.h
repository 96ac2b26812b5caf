// What the user reads when a port cannot be opened: what failed and what to
// do about it. The texts name the port as the user gave it.
#pragma once

#include <QAbstractSocket>
#include <QSerialPort>
#include <QString>

namespace comm {

// The language of the texts below for the whole program: English unless the
// window chooses German with its own texts (kestractl stays English).
void UseGermanErrorTexts(bool german);

// A serial port that would not open. accessDenied: the system refuses this
// user read/write access to the device (checked apart from the open, since
// the port reports a lock held by another program as the same error).
QString SerialOpenErrorText(QSerialPort::SerialPortError error, const QString& path, bool accessDenied,
                            const QString& detail);

// A network port whose connection could not be made.
QString NetworkOpenErrorText(QAbstractSocket::SocketError error, const QString& host, quint16 port,
                             const QString& detail);

// The server answered but does not take line settings over telnet.
QString NoComPortControlText(const QString& host, quint16 port);

// The line refused the speed or format.
QString LineSettingsRefusedText(const QString& name, int baudRate);

// A device server (RFC 2217) answered the line settings with others: `asked`
// and `kept` as LineText gives them.
QString LineSettingsKeptText(const QString& name, const QString& asked, const QString& kept);

// A device server closed the connection before confirming the line settings,
// as ser2net does when it cannot open its serial device; `said` is what it
// sent as line data before closing (ser2net's reason), or empty.
QString ServerClosedText(const QString& name, const QString& said);

// A device server agreed to nothing within the time allowed: its serial
// device may be unusable, or it does not take line settings. Both are named.
QString NoLineAnswerText(const QString& name, const QString& asked);

// "9600 baud 8N1": parity 0..4 none, odd, even, mark, space; stop bits 0, 1, 2
// for one, one and a half, two.
QString LineText(qint64 baudRate, int dataBits, int parity, int stopBits);

}  // namespace comm
