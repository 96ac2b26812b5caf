// Firmware updates begun and not finished, by port: a KESTRA whose update was
// cut off waits in its boot loader, which answers nothing at 9600 baud, and
// looks like a dead line. Kept in the user's state folder
// ($XDG_STATE_HOME/kestra/updates.ini), so that a later run can say so.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

void NoteUpdateBegun(const QString& port);
void NoteUpdateEnded(const QString& port);
// When an update on this port began and did not end, if one did.
std::optional<QDateTime> InterruptedUpdateOn(const QString& port);
