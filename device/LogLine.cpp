#include "LogLine.h"

#include "Commands.h"

std::optional<QString> LogLine(const LCmd& frame, Direction direction, quint32 replyTime)
{
    if (frame.Sub() == sub::kAck || frame.Sub() == sub::kPoll) {
        return std::nullopt;
    }
    QString line = direction == Direction::Sent ? QStringLiteral("-> [") : QStringLiteral("<- [");
    line += QStringLiteral("%1]").arg(frame.Sub(), 2, 16, QLatin1Char('0')).toUpper();
    for (std::uint8_t b : frame.Payload()) {
        line += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    if (direction == Direction::Received) {
        // Printed as a signed number: a clamped 0xFFFFFFFF shows as -1.
        line += QStringLiteral("(%1)").arg(static_cast<qint32>(replyTime));
    }
    return line;
}
