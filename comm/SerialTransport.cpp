#include "SerialTransport.h"

#include "LinkSide.h"
#include "PortErrors.h"

#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <unistd.h>
#endif

namespace comm {

namespace {

bool Configure(QSerialPort& port, const LineSettings& s)
{
    QSerialPort::DataBits dataBits;
    switch (s.dataBits) {
    case 5: dataBits = QSerialPort::Data5; break;
    case 6: dataBits = QSerialPort::Data6; break;
    case 7: dataBits = QSerialPort::Data7; break;
    case 8: dataBits = QSerialPort::Data8; break;
    default: return false;
    }
    QSerialPort::Parity parity;
    switch (s.parity) {
    case 0: parity = QSerialPort::NoParity; break;
    case 1: parity = QSerialPort::OddParity; break;
    case 2: parity = QSerialPort::EvenParity; break;
    case 3: parity = QSerialPort::MarkParity; break;
    case 4: parity = QSerialPort::SpaceParity; break;
    default: return false;
    }
    QSerialPort::StopBits stopBits;
    switch (s.stopBits) {
    case 0: stopBits = QSerialPort::OneStop; break;
    case 1: stopBits = QSerialPort::OneAndHalfStop; break;
    case 2: stopBits = QSerialPort::TwoStop; break;
    default: return false;
    }
    return s.baudRate > 0 && port.setBaudRate(s.baudRate) && port.setDataBits(dataBits) && port.setParity(parity) &&
           port.setStopBits(stopBits) && port.setFlowControl(QSerialPort::NoFlowControl);
}

// The port reports "permission" both for a device this user may not use and
// for one another program holds locked; only the first is the user's rights.
bool AccessDenied(const QString& path)
{
#if defined(Q_OS_UNIX)
    const QByteArray native = QFile::encodeName(path);
    return ::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(path);
    return false;
#endif
}

OpenFailure::Kind FailureKind(QSerialPort::SerialPortError error, bool accessDenied)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::Kind::NoSuchPort;
    case QSerialPort::PermissionError:
        return accessDenied ? OpenFailure::Kind::NoPermission : OpenFailure::Kind::InUse;
    default:
        return OpenFailure::Kind::Other;
    }
}

}  // namespace

int ErrorCodeFor(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::WriteError:
        return -1;
    case QSerialPort::ReadError:
        return kErrReadFailed;
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return kErrPortFailed;
    default:
        return kErrUnexpected;
    }
}

SerialTransport::SerialTransport(const QString& path) : path_(path)
{
    QObject::connect(&port_, &QSerialPort::readyRead, [this] {
        if (onReadyRead) {
            onReadyRead();
        }
    });
    QObject::connect(&port_, &QSerialPort::bytesWritten, [this] {
        if (onBytesWritten) {
            onBytesWritten();
        }
    });
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (configuring_ || failed_ || !port_.isOpen()) {
            return;
        }
        const int code = ErrorCodeFor(error);
        if (code >= 0 && onFailure) {
            failed_ = true;
            onFailure(code);
        }
    });
}

bool SerialTransport::Open(const LineSettings& line)
{
    // The lock file is named after the path string: a link and its target
    // must be the same port.
    QString path = path_;
    if (path.startsWith(QLatin1Char('/'))) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty()) {
            path = canonical;
        }
    }
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite)) {
        const bool denied = AccessDenied(path);
        SetFailure(FailureKind(port_.error(), denied), SerialOpenErrorText(port_.error(), path_, denied, port_.errorString()));
        return false;
    }
    if (!Configure(port_, line)) {
        SetFailure(OpenFailure::Kind::LineRefused, LineSettingsRefusedText(path_, line.baudRate));
        port_.close();
        return false;
    }
    port_.clear();
    return true;
}

bool SerialTransport::SetLine(const LineSettings& line)
{
    configuring_ = true;
    const bool ok = Configure(port_, line);
    port_.clearError();
    configuring_ = false;
    return ok;
}

int SerialTransport::DirectWriteHandle() const
{
#if defined(Q_OS_UNIX)
    // QSerialPort opens the descriptor non-blocking, so a direct write never waits.
    return port_.isOpen() ? static_cast<int>(port_.handle()) : -1;
#else
    return -1;
#endif
}

}  // namespace comm
