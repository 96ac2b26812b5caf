#include "PortName.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include <mutex>

namespace comm {
namespace {
std::mutex gOverrideMutex;
QString& OverrideStorage()
{
    static QString path;
    return path;
}

constexpr int kMaxComNumber = 256;

const QString& Forms()
{
    static const QString text = QStringLiteral(
        "Give COMn, a device path such as /dev/ttyUSB0, tcp://HOST:PORT or rfc2217://HOST:PORT.");
    return text;
}

PortAddress Fail(const QString& why)
{
    PortAddress a;
    a.error = why;
    return a;
}

// HOST:PORT after the scheme.
PortAddress ParseNetwork(PortAddress::Kind kind, const QString& scheme, const QString& rest)
{
    const QString example = QStringLiteral("%1://HOST:PORT").arg(scheme);
    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return Fail(QStringLiteral("\"%1\" opens a bracket for an IPv6 address but never closes it.").arg(rest));
        }
        host = rest.mid(1, close - 1);
        const QHostAddress address(host);
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv6Protocol) {
            return Fail(QStringLiteral("\"%1\" is not an IPv6 address.").arg(host));
        }
        if (rest.mid(close + 1, 1) != QStringLiteral(":")) {
            return Fail(QStringLiteral("\"%1://%2\" lacks the port number: use %3.").arg(scheme, rest, example));
        }
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) {
            return Fail(QStringLiteral("\"%1://%2\" lacks the port number: use %3.").arg(scheme, rest, example));
        }
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':'))) {
            return Fail(QStringLiteral("Put an IPv6 address in brackets: %1://[%2]:%3.").arg(scheme, host, portText));
        }
        static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9._-]*[A-Za-z0-9])?$"));
        if (host.isEmpty()) {
            return Fail(QStringLiteral("\"%1://%2\" names no host: use %3.").arg(scheme, rest, example));
        }
        if (!hostName.match(host).hasMatch()) {
            return Fail(QStringLiteral("\"%1\" is not a host name or address.").arg(host));
        }
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int port = digits.match(portText).hasMatch() ? portText.toInt() : 0;
    if (port < 1 || port > 65535) {
        return Fail(QStringLiteral("\"%1\" is not a TCP port number (1 to 65535).").arg(portText));
    }
    PortAddress a;
    a.kind = kind;
    a.host = host;
    a.port = static_cast<quint16>(port);
    return a;
}
}  // namespace

QString DefaultPortName(int portNumber)
{
    if (portNumber < 1) {
        return {};
    }
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(portNumber);
#elif defined(Q_OS_MACOS)
    return QStringLiteral("/dev/cu.serial%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void SetPortOverride(const QString& path)
{
    std::lock_guard lock(gOverrideMutex);
    OverrideStorage() = path;
}

QString PortOverride()
{
    std::lock_guard lock(gOverrideMutex);
    return OverrideStorage();
}

QString ResolvePortPath(int portNumber)
{
    QString path = PortOverride();
    if (path.isEmpty()) {
        path = DefaultPortName(portNumber);
    }
    // Windows port names are not files; a missing file is left as typed so
    // that opening it fails with "not found".
    if (path.startsWith(QLatin1Char('/'))) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty()) {
            return canonical;
        }
    }
    return path;
}

QString ResolvePortName(int portNumber, const QString& name)
{
    const QString override = PortOverride();
    if (!override.isEmpty()) {
        return override;
    }
    return name.trimmed().isEmpty() ? DefaultPortName(portNumber) : name;
}

PortAddress ParsePortName(const QString& typed)
{
    const QString name = typed.trimmed();
    if (name.isEmpty()) {
        return Fail(QStringLiteral("No port given. ") + Forms());
    }
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,3})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = com.match(name); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n < 1 || n > kMaxComNumber) {
            return Fail(QStringLiteral("There is no port %1: COM ports are numbered 1 to %2.").arg(name).arg(kMaxComNumber));
        }
        PortAddress a;
        a.path = DefaultPortName(n);
        return a;
    }
    const qsizetype sep = name.indexOf(QStringLiteral("://"));
    if (sep >= 0) {
        const QString scheme = name.left(sep).toLower();
        const QString rest = name.mid(sep + 3);
        if (scheme == QStringLiteral("tcp")) {
            return ParseNetwork(PortAddress::Kind::Tcp, scheme, rest);
        }
        if (scheme == QStringLiteral("rfc2217")) {
            return ParseNetwork(PortAddress::Kind::Rfc2217, scheme, rest);
        }
        return Fail(QStringLiteral("Unknown kind of port \"%1://\". ").arg(name.left(sep)) + Forms());
    }
    PortAddress a;
#if defined(Q_OS_WIN)
    a.path = name;
#else
    static const QRegularExpression bare(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (name.startsWith(QLatin1Char('/'))) {
        a.path = name;
    } else if (bare.match(name).hasMatch()) {
        a.path = QStringLiteral("/dev/") + name;
    } else {
        return Fail(QStringLiteral("\"%1\" is not a port. ").arg(name) + Forms());
    }
#endif
    return a;
}

}  // namespace comm
