// Test helper: Debian's ser2net serving a serial device (the simulator's
// pseudo-terminal) on a free 127.0.0.1 port, from a generated YAML config,
// in the foreground so the test owns it and can kill it.
//
//   connection: &kestra
//     accepter: tcp(nodelay),127.0.0.1,PORT                  (raw)
//     accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,PORT  (RFC 2217)
//     connector: serialdev,DEVICE,9600n81,local
//     options: { kickolduser: true, chardelay: false }
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Ser2net {
public:
    enum class Mode { Raw, Rfc2217 };

    // device: the serial device to serve (a pseudo-terminal slave).
    Ser2net(const QString& device, Mode mode);
    ~Ser2net();

    // Starts it (on the port of the last start, if any) and waits until it
    // listens; false with Why() set when it does not.
    bool Start();
    // SIGKILL: the connection drops as when a device server loses power.
    void Kill();
    QString Url() const;  // tcp://127.0.0.1:PORT or rfc2217://127.0.0.1:PORT
    quint16 Port() const { return port_; }
    QString Why() const { return why_; }

private:
    bool Listening() const;

    QString device_;
    Mode mode_;
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString why_;
};
