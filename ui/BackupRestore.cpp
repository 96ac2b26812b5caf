#include "BackupRestore.h"

#include "FrameText.h"
#include "StateJson.h"
#include "UndoHistory.h"

#include <QJsonDocument>

QByteArray BackupBytes(const DeviceState& state)
{
    return QJsonDocument(StateToJson(state)).toJson(QJsonDocument::Indented);
}

QString ChangeLine(const DeviceState& device, const LCmd& command)
{
    const QString after = QString::fromStdString(CommandText(command));
    const auto previous = CommandRestoring(device, command);
    if (!previous) {
        return after;
    }
    const QString before = QString::fromStdString(CommandText(*previous));
    // Both texts name the item first; the words they share are said once.
    int common = 0;
    for (int i = 0; i < std::min(before.size(), after.size()) && before[i] == after[i]; ++i) {
        if (before[i] == QLatin1Char(' ')) {
            common = i + 1;
        }
    }
    return after.left(common) + before.mid(common) + QStringLiteral(" -> ") + after.mid(common);
}

RestorePlan PlanRestore(const QByteArray& file, const DeviceState& device)
{
    RestorePlan plan;
    DeviceState target = device;
    if (const auto error = MergeStateFile(file, target)) {
        plan.error = *error;
        return plan;
    }
    plan.changes = RestoreChanges(device, target);
    // The list names what differs; what a ganged pair needs besides is sent unlisted.
    for (const StateChange& change : ChangesTo(device, target)) {
        plan.lines << ChangeLine(device, change.command);
    }
    return plan;
}
