// Undo and redo of the user's own changes. Each step remembers, per item it
// touched (a channel's gain, a mute, the line source ...), the command that
// puts back the value the device had before and the last command the user
// sent. Commands that reach the same items in one go (a fader drag, a ganged
// pair) join one step. Changes the device reports by itself are not steps.
#pragma once

#include "DeviceState.h"
#include "Lcmd.h"

#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// The command that sets the item `command` changes back to its value in
// `state`; none for commands that change no item of the state (inquiries,
// polls, presets, reset).
std::optional<LCmd> CommandRestoring(const DeviceState& state, const LCmd& command);

class UndoHistory {
public:
    using Send = std::function<void(const LCmd& command)>;
    explicit UndoHistory(Send send) : send_(std::move(send)) {}

    // A drag's moves come closer together than this; a pause ends the step.
    static constexpr qint64 kJoinMs = 700;

    // The user's action sent `command` while the device stood at `before`.
    // `sameAction`: sent by the same handler call as the previous command.
    void Record(const LCmd& command, const DeviceState& before, qint64 nowMs, bool sameAction);
    // Send the previous / next values of one step; false when there is none.
    bool Undo();
    bool Redo();
    void Clear();
    bool CanUndo() const { return !done_.empty(); }
    bool CanRedo() const { return !undone_.empty(); }

private:
    struct Item {
        int key;  // the item of the state it changes
        LCmd previous;
        LCmd latest;
    };
    using Step = std::vector<Item>;

    Send send_;
    std::vector<Step> done_;
    std::vector<Step> undone_;
    qint64 lastMs_ = 0;
};
