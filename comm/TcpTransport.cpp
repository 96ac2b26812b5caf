#include "TcpTransport.h"

#include "LinkSide.h"
#include "PortErrors.h"

#include <algorithm>
#include <cstring>

namespace comm {

TcpTransport::TcpTransport(const QString& host, quint16 port) : host_(host), port_(port)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
        Pump();
        if (bytesAvailable() > 0 && onReadyRead) {
            onReadyRead();
        }
    });
    // The server going away (stopped, connection reset, network down) is the
    // unplugged adapter of a network port: the port failed, once.
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
        // A wait that timed out (the speed request's answer) is no failure.
        if (failed_ || !onFailure || error == QAbstractSocket::SocketTimeoutError) {
            return;
        }
        failed_ = true;
        onFailure(kErrPortFailed);
    });
}

bool TcpTransport::Open(const LineSettings&)
{
    socket_.connectToHost(host_, port_);
    if (!socket_.waitForConnected(kConnectTimeoutMs)) {
        const auto error = socket_.error() == QAbstractSocket::UnknownSocketError ? QAbstractSocket::SocketTimeoutError
                                                                                 : socket_.error();
        SetFailure(OpenFailure::Kind::Other, NetworkOpenErrorText(error, host_, port_, socket_.errorString()));
        failed_ = true;  // no report for a connection that never was
        socket_.abort();
        return false;
    }
    // Every frame is small and waits for its reply: send each at once.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

qint64 TcpTransport::bytesAvailable() const
{
    return in_.size() - inPos_;
}

qint64 TcpTransport::read(char* data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, bytesAvailable());
    if (n > 0) {
        std::memcpy(data, in_.constData() + inPos_, static_cast<std::size_t>(n));
        inPos_ += n;
        if (inPos_ == in_.size()) {
            in_.clear();
            inPos_ = 0;
        }
    }
    return n;
}

void TcpTransport::write(const char* data, qint64 size)
{
    socket_.write(data, size);
}

void TcpTransport::close()
{
    failed_ = true;  // closing is not a failure to report
    socket_.abort();
}

void TcpTransport::Pump()
{
    const QByteArray bytes = socket_.readAll();
    if (!bytes.isEmpty()) {
        Receive(bytes);
    }
}

}  // namespace comm
