#include "PortErrors.h"

namespace comm {

QString SerialOpenErrorText(QSerialPort::SerialPortError error, const QString& path, bool accessDenied,
                            const QString& detail)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("There is no serial port %1. Check the name, or plug the adapter in.").arg(path);
    case QSerialPort::PermissionError:
#if defined(Q_OS_LINUX)
        if (accessDenied) {
            return QStringLiteral(
                       "No permission to use %1. Serial ports belong to the group \"dialout\": add yourself "
                       "with  sudo usermod -aG dialout $USER  and then log out and log in again.")
                .arg(path);
        }
#else
        if (accessDenied) {
            return QStringLiteral("No permission to use %1.").arg(path);
        }
#endif
        return QStringLiteral("%1 is in use by another program. Close it there and connect again.").arg(path);
    default:
        return QStringLiteral("Could not open %1: %2").arg(path, detail);
    }
}

QString NetworkOpenErrorText(QAbstractSocket::SocketError error, const QString& host, quint16 port,
                             const QString& detail)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("The host \"%1\" could not be found. Check its name.").arg(host);
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("%1 refused the connection on port %2. Is the device server running, "
                              "and is %2 its port?")
            .arg(host)
            .arg(port);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("No answer from %1 on port %2.").arg(host).arg(port);
    default:
        return QStringLiteral("Could not connect to %1 on port %2: %3").arg(host).arg(port).arg(detail);
    }
}

QString NoComPortControlText(const QString& host, quint16 port)
{
    return QStringLiteral("%1 on port %2 does not take line settings over telnet (RFC 2217). "
                          "Use tcp://%1:%2 if it is a raw port.")
        .arg(host)
        .arg(port);
}

QString LineSettingsRefusedText(const QString& name, int baudRate)
{
    return QStringLiteral("%1 refused the line settings (%2 baud).").arg(name).arg(baudRate);
}

}  // namespace comm
