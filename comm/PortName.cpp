#include "PortName.h"

#include <QFileInfo>

#include <mutex>

namespace comm {
namespace {
std::mutex gOverrideMutex;
QString& OverrideStorage()
{
    static QString path;
    return path;
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

}  // namespace comm
