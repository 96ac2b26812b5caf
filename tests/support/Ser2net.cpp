#include "Ser2net.h"

#include "FreePort.h"
#include "WaitFor.h"

#include <QFile>
#include <QFileInfo>

// A device that does not exist is served as named: ser2net fails to open it
// only when a client connects, as with an adapter unplugged.
Ser2net::Ser2net(const QString& device, Mode mode)
    : device_(QFileInfo::exists(device) ? QFileInfo(device).canonicalFilePath() : device), mode_(mode) {}

Ser2net::~Ser2net() { Kill(); }

bool Ser2net::Start()
{
    port_ = port_ != 0 ? port_ : FreePort();
    // Set up for request and reply: chardelay off passes each byte on at
    // once instead of waiting for more, and nodelay sends it without waiting
    // for the last packet's acknowledgement (Nagle), which a reply arriving
    // byte by byte from the wire would otherwise wait for, some 40 ms each.
    const QString accepter =
        mode_ == Mode::Raw ? QStringLiteral("tcp(nodelay)") : QStringLiteral("telnet(rfc2217),tcp(nodelay)");
    const QString config = QStringLiteral("connection: &kestra\n"
                                          "  accepter: %1,127.0.0.1,%2\n"
                                          "  connector: serialdev,%3,9600n81,local\n"
                                          "  options:\n"
                                          "    kickolduser: true\n"
                                          "    chardelay: false\n")
                               .arg(accepter).arg(port_).arg(device_);
    QFile file(dir_.filePath(QStringLiteral("ser2net.yaml")));
    if (port_ == 0 || !dir_.isValid() || !file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        why_ = QStringLiteral("no free port, or cannot write the config");
        return false;
    }
    file.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("ser2net"), {"-n", "-d", "-c", file.fileName(), "-P", dir_.filePath(QStringLiteral("ser2net.pid"))});
    if (!process_.waitForStarted(5000)) {
        why_ = QStringLiteral("ser2net did not start: %1").arg(process_.errorString());
        return false;
    }
    if (!WaitFor([&] { return Listening() || process_.state() != QProcess::Running; }, 10000) || !Listening()) {
        why_ = QStringLiteral("ser2net is not listening: %1").arg(QString::fromLocal8Bit(process_.readAll()));
        Kill();
        return false;
    }
    return true;
}

void Ser2net::Kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString Ser2net::Url() const { return QStringLiteral("%1://127.0.0.1:%2").arg(mode_ == Mode::Raw ? "tcp" : "rfc2217").arg(port_); }

bool Ser2net::Listening() const
{
    // /proc/net/tcp: "sl local_address rem_address st ...", addresses in hex,
    // state 0A is LISTEN. Asking the kernel spares a probing connection,
    // which ser2net would answer by opening the device.
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray local = QStringLiteral("0100007F:%1").arg(port_, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A") {
            return true;
        }
    }
    return false;
}
