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

}  // namespace comm
