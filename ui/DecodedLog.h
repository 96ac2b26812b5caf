// The message window's decoded view: while its box is ticked each new log
// line keeps its exact hex text and gains the time it was written and what
// the frame means, read by the one report decoder. Lines written before stay
// as they were, so the box never rewrites history.
#pragma once

#include "LogLine.h"

#include <QString>
#include <QTime>

// "12:34:56.789  <- [C3] 21 12(35)  MIC 3 gain -16.5dB"
QString DecodedLine(const QTime& at, const QString& hexLine, const LCmd& frame, Direction direction);

// What the frame means; a device error adds the message of its code in the
// language in force.
QString FrameMeaning(const LCmd& frame, Direction direction);

// Writes `text` to `path`; on failure returns why.
std::optional<QString> SaveLogText(const QString& path, const QString& text);
