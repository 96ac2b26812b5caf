// Text of one traffic-log line: only the sub byte and the payload, in
// upper-case hex. Acknowledgements (0x01) and polls (0x05) are never logged.
#pragma once

#include "Lcmd.h"

#include <QString>

#include <optional>

enum class Direction { Received = 0, Sent = 1 };

// "-> [A3] 0A 10" for a sent frame, "<- [C3] 21 12(35)" for a received one;
// nullopt for frames that are not logged.
std::optional<QString> LogLine(const LCmd& frame, Direction direction, quint32 replyTime);
