#include "UndoHistory.h"

#include "Commands.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kManualDuckingOn = 2;

std::uint8_t Flag(bool on)
{
    return on ? 1 : 0;
}

// Which item a command changes: the sub byte and, for commands that name a
// channel or pair, that byte.
std::uint16_t ItemKey(const LCmd& c)
{
    const ByteVector& p = c.Payload();
    const std::uint8_t item = p.size() > 1 ? p[1] : 0;
    return static_cast<std::uint16_t>(c.Sub() << 8 | item);
}

}  // namespace

std::optional<LCmd> CommandRestoring(const DeviceState& s, const LCmd& c)
{
    const ByteVector& p = c.Payload();
    if (c.Command() != kControlCommand || p.empty()) {
        return std::nullopt;
    }
    const std::uint8_t second = p.size() > 1 ? p[1] : 0;
    const int index = StateIndexOfChannel(second);
    const bool twoBytes = p.size() > 1;
    switch (c.Sub()) {
    case sub::kLine:
        return CM_MCS_LINE(s.lineSource);
    case sub::kStereo:
    case sub::kMic:
        if (!twoBytes || index < 0) {
            return std::nullopt;
        }
        return c.Sub() == sub::kMic ? LCmd(CM_MCS_MIC(s.gain[index], second))
                                    : LCmd(CM_MCS_STEREO(s.gain[index], second));
    case sub::kManDucking:
        return CM_MCS_MANDUCKING(s.manualDucking ? kManualDuckingOn : 0);
    case sub::kDucking:
        if (!twoBytes || !channel::IsMic(second)) {
            return std::nullopt;
        }
        return CM_MCS_DUCKING(Flag(s.priority[second - channel::kMic1]), second);
    case sub::kGanged:
        if (!twoBytes || (second != 1 && second != 2)) {
            return std::nullopt;
        }
        return CM_MCS_GANGED(Flag(second == 1 ? s.subGanged : s.masterGanged), second);
    case sub::kMute:
        if (!twoBytes || index < 0) {
            return std::nullopt;
        }
        return CM_MCS_MUTE(Flag(s.mute[index]), second);
    case sub::kDkMicThd:
        return CM_MCS_DK_MIC_THD(s.ducking[static_cast<int>(DuckSetting::Threshold)]);
    case sub::kDkStRed:
        return CM_MCS_DK_ST_RED(s.ducking[static_cast<int>(DuckSetting::Attenuation)]);
    case sub::kDkHold:
        return CM_MCS_DK_HOLD(s.ducking[static_cast<int>(DuckSetting::HoldTime)]);
    case sub::kDkFadeOut:
        return CM_MCS_DK_FADEOUT(s.ducking[static_cast<int>(DuckSetting::FadeOut)]);
    case sub::kDkFadeIn:
        return CM_MCS_DK_FADEIN(s.ducking[static_cast<int>(DuckSetting::FadeIn)]);
    case sub::kSwitch:
        return CM_MCS_SWITCH(s.switchOn);
    default:
        return std::nullopt;
    }
}

void UndoHistory::Record(const LCmd& command, const DeviceState& before, qint64 nowMs, bool sameAction)
{
    const std::optional<LCmd> previous = CommandRestoring(before, command);
    if (!previous) {
        return;
    }
    const std::uint16_t key = ItemKey(command);
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
