#include "AppIdentity.h"

#include "KestraVersion.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QUrl>

void SetUpAppIdentity()
{
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTRA_APP_ID));
    // The installed theme icon where there is one, else the one built in.
    QIcon builtIn;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        builtIn.addFile(QStringLiteral(":/icons/kestra-panel-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(KESTRA_APP_ID), builtIn));
}

QString ReadmeUrl()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/kestra-remote-panel/README.md"));
    for (const QString& path : {installed, QStringLiteral(KESTRA_SOURCE_README)}) {
        if (QFileInfo::exists(path)) {
            return QUrl::fromLocalFile(QFileInfo(path).canonicalFilePath()).toString();
        }
    }
    return QUrl::fromLocalFile(QStringLiteral("/usr/share/doc/kestra-remote-panel/README.md")).toString();
}

QString MissingDisplay(const std::function<QString(const char*)>& env)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const QString platform = env("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0).section(QLatin1Char(';'), 0, 0);
    const bool x11 = !env("DISPLAY").isEmpty();
    const bool wayland = !env("WAYLAND_DISPLAY").isEmpty() || !env("WAYLAND_SOCKET").isEmpty();
    const QString advice = QStringLiteral(
        " Start it from a desktop session (or with ssh -X), or use kestractl on the command line.");
    if (platform.isEmpty() && !x11 && !wayland) {
        return QStringLiteral("no display: neither DISPLAY (X11) nor WAYLAND_DISPLAY (Wayland) is set.") + advice;
    }
    if (platform == QLatin1String("xcb") && !x11) {
        return QStringLiteral("no display: QT_QPA_PLATFORM is xcb, but DISPLAY is not set.") + advice;
    }
    if (platform.startsWith(QLatin1String("wayland")) && !wayland) {
        return QStringLiteral("no display: QT_QPA_PLATFORM is %1, but WAYLAND_DISPLAY is not set.").arg(platform) +
               advice;
    }
#else
    Q_UNUSED(env);
#endif
    return {};
}
