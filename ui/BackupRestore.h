// Backup and restore from the window: the same JSON state file as
// `kestractl backup/restore`. A restore is planned first (what would change,
// in words), then sent only after the user agrees, and only the differences.
#pragma once

#include "DeviceState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

QByteArray BackupBytes(const DeviceState& state);

struct RestorePlan {
    QString error;  // the file's problem; nothing may be sent when set
    std::vector<StateChange> changes;
    QStringList lines;  // one per change: "MIC 3 gain -10dB -> -12.5dB"
};

RestorePlan PlanRestore(const QByteArray& file, const DeviceState& device);

// "MIC 3 gain -10dB -> -12.5dB": the item, its value now, its value after `command`.
QString ChangeLine(const DeviceState& device, const LCmd& command);
