#include "TrafficLog.h"

#include "Fmsg.h"

#include <QRadioButton>

void TrafficLog::LogFrame(const LCmd& frame, Direction direction, quint32 replyTime)
{
    if (direction == Direction::Sent && window_.rbRXOnly->isChecked()) {
        return;
    }
    if (const auto line = LogLine(frame, direction, replyTime)) {
        window_.AppendLine(*line);
    }
}
