#include "DecodedLog.h"

#include "FrameText.h"
#include "Language.h"
#include "ReportDecoder.h"
#include "Reports.h"

#include <QSaveFile>

QString FrameMeaning(const LCmd& frame, Direction direction)
{
    if (direction == Direction::Sent) {
        return QString::fromStdString(CommandText(frame));
    }
    const ReportEvent e = DecodeReport(frame);
    QString text = QString::fromStdString(ReportText(e));
    if (e.kind == ReportKind::Error) {
        if (const auto id = ErrorMessageId(e.value)) {
            text += QStringLiteral(": ") + LoadStr(*id);
        }
    }
    return text;
}

QString DecodedLine(const QTime& at, const QString& hexLine, const LCmd& frame, Direction direction)
{
    return at.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral("  ") + hexLine + QStringLiteral("  ") +
           FrameMeaning(frame, direction);
}

std::optional<QString> SaveLogText(const QString& path, const QString& text)
{
    // Written aside and renamed: a failed save never leaves half a log
    // where an earlier one stood.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return file.errorString();
    }
    const QByteArray bytes = (text.isEmpty() ? text : text + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}
