#include "UndoHistory.h"

#include <algorithm>

std::optional<LCmd> CommandRestoring(const DeviceState& s, const LCmd& c)
{
    const int it = ItemOfCommand(c);
    if (it < 0) {
        return std::nullopt;
    }
    return ItemChange(it, ItemValue(s, it))->command;
}

void UndoHistory::Record(const LCmd& command, const DeviceState& before, qint64 nowMs, bool sameAction)
{
    const std::optional<LCmd> previous = CommandRestoring(before, command);
    if (!previous) {
        return;
    }
    const int key = ItemOfCommand(command);
    undone_.clear();
    if (!done_.empty()) {
        Step& step = done_.back();
        auto it = std::find_if(step.begin(), step.end(), [key](const Item& i) { return i.key == key; });
        const bool recent = nowMs - lastMs_ < kJoinMs;
        if (it != step.end() && (recent || sameAction)) {
            it->latest = command;  // the value before the step stays
            lastMs_ = nowMs;
            return;
        }
        if (sameAction) {
            step.push_back({key, *previous, command});
            lastMs_ = nowMs;
            return;
        }
    }
    done_.push_back({{key, *previous, command}});
    lastMs_ = nowMs;
}

bool UndoHistory::Undo()
{
    if (done_.empty()) {
        return false;
    }
    Step step = std::move(done_.back());
    done_.pop_back();
    // Back in reverse, so a ganged pair ends as it began.
    for (auto it = step.rbegin(); it != step.rend(); ++it) {
        send_(it->previous);
    }
    undone_.push_back(std::move(step));
    return true;
}

bool UndoHistory::Redo()
{
    if (undone_.empty()) {
        return false;
    }
    Step step = std::move(undone_.back());
    undone_.pop_back();
    for (const Item& item : step) {
        send_(item.latest);
    }
    done_.push_back(std::move(step));
    lastMs_ = 0;  // a redone step is closed: the next change starts its own
    return true;
}

void UndoHistory::Clear()
{
    done_.clear();
    undone_.clear();
}
