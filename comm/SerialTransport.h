// A local serial port (QSerialPort): a COM port, a USB adapter, a pseudo-terminal.
#pragma once

#include "Transport.h"

#include <QSerialPort>

namespace comm {

class SerialTransport : public Transport {
public:
    explicit SerialTransport(const QString& path);

    bool Open(const LineSettings& line) override;
    bool SetLine(const LineSettings& line) override;
    qint64 bytesAvailable() const override { return port_.bytesAvailable(); }
    qint64 read(char* data, qint64 maxSize) override { return port_.read(data, maxSize); }
    void write(const char* data, qint64 size) override { port_.write(data, size); }
    void flush() override { port_.flush(); }
    void close() override { port_.close(); }
    qint64 bytesToWrite() const override { return port_.bytesToWrite(); }
    int DirectWriteHandle() const override;

private:
    QString path_;
    QSerialPort port_;
    bool failed_ = false;
    bool configuring_ = false;  // a refused setting is an answer, not a failure
};

}  // namespace comm
