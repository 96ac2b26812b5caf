// Raw TCP to a device server (ser2net's raw mode, a device server's "TCP
// server" mode): the connection carries the line's bytes unchanged, and the
// line format is whatever the server was set up with.
#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QTcpSocket>

namespace comm {

class TcpTransport : public Transport {
public:
    static constexpr int kConnectTimeoutMs = 5000;

    TcpTransport(const QString& host, quint16 port);

    bool Open(const LineSettings& line) override;
    // The server owns the line format and cannot be asked to change it: a
    // speed change is refused rather than pretended (the update then says so).
    bool SetLine(const LineSettings&) override { return false; }
    qint64 bytesAvailable() const override;
    qint64 read(char* data, qint64 maxSize) override;
    void write(const char* data, qint64 size) override;
    void flush() override { socket_.flush(); }
    void close() override;

protected:
    // Bytes from the socket, turned into line bytes (raw: unchanged).
    virtual void Receive(const QByteArray& bytes) { in_.append(bytes); }
    // Takes every byte the socket holds into the line buffer.
    void Pump();
    void Send(const QByteArray& bytes) { socket_.write(bytes); }

    QString host_;
    quint16 port_;
    QTcpSocket socket_;
    QByteArray in_;  // line bytes not yet read
    qsizetype inPos_ = 0;

private:
    bool failed_ = false;
};

}  // namespace comm
