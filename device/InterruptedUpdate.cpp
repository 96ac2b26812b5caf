#include "InterruptedUpdate.h"

#include "PortName.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString File()
{
#if defined(Q_OS_UNIX)
    QString dir = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(dir)) {
        dir = QDir::homePath() + QStringLiteral("/.local/state");
    }
#else
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
    QDir().mkpath(dir + QStringLiteral("/kestra"));
    return dir + QStringLiteral("/kestra/updates.ini");
}

// One key per device: a link and its target, COM1 and its device, are one port.
QString Key(const QString& port)
{
    const comm::PortAddress a = comm::ParsePortName(port);
    QString key = port.trimmed();
    if (a.Ok() && a.kind == comm::PortAddress::Kind::Serial) {
        const QString canonical = QFileInfo(a.path).canonicalFilePath();
        key = canonical.isEmpty() ? a.path : canonical;
    }
    // QSettings reads "/" as a group separator.
    return QString::fromLatin1(key.toUtf8().toPercentEncoding());
}

}  // namespace

void NoteUpdateBegun(const QString& port)
{
    QSettings(File(), QSettings::IniFormat).setValue(Key(port), QDateTime::currentDateTime());
}

void NoteUpdateEnded(const QString& port)
{
    QSettings(File(), QSettings::IniFormat).remove(Key(port));
}

std::optional<QDateTime> InterruptedUpdateOn(const QString& port)
{
    const QVariant v = QSettings(File(), QSettings::IniFormat).value(Key(port));
    if (!v.isValid()) {
        return std::nullopt;
    }
    return v.toDateTime();
}
