// Whatever a telnet server sends, the RFC 2217 client takes out line bytes
// only: never more than arrived, and bytes other than IAC pass unchanged.
#include "FuzzCheck.h"
#include "Rfc2217.h"

#include <QtGlobal>

#include <algorithm>

namespace {
// Exposes the receiving side; answers to option requests go to a socket
// that is not connected, which drops them.
class Probe : public comm::Rfc2217Transport {
public:
    Probe() : Rfc2217Transport(QStringLiteral("127.0.0.1"), 9) {}
    using Rfc2217Transport::Receive;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Answers written to the unconnected socket would warn on every input.
    static const QtMessageHandler quiet = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    Q_UNUSED(quiet);
    Probe probe;
    const QByteArray in(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    probe.Receive(in);
    QByteArray out(static_cast<qsizetype>(size) + 1, '\0');
    const qint64 n = probe.read(out.data(), out.size());
    const bool plain = std::find(data, data + size, std::uint8_t{0xFF}) == data + size;
    Require(n >= 0 && n <= static_cast<qint64>(size) && (!plain || out.left(n) == in));
    return 0;
}
