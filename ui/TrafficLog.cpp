#include "TrafficLog.h"

#include "DecodedLog.h"
#include "Fmsg.h"

#include <QCheckBox>
#include <QRadioButton>

void TrafficLog::LogFrame(const LCmd& frame, Direction direction, quint32 replyTime)
{
    if (direction == Direction::Sent && window_.rbRXOnly->isChecked()) {
        return;
    }
    if (const auto line = LogLine(frame, direction, replyTime)) {
        window_.AppendLine(window_.cbDecoded->isChecked()
                               ? DecodedLine(QTime::currentTime(), *line, frame, direction)
                               : *line);
    }
}
