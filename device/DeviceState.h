// The headless programs' copy of the device: everything the 49 inquiries of
// the full-state read report, kept as the device's own bytes. Reports are
// applied through the one decoder (ReportDecoder.h); the commands that turn
// one state into another come from ChangesTo.
#pragma once

#include "Lcmd.h"
#include "ReportDecoder.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

// Channels in state order: line, sub L/R, master L/R, microphones 1..6.
inline constexpr int kStateChannels = 11;
inline constexpr int kFirstMicIndex = 5;
inline constexpr int kStateMics = 6;
inline constexpr int kDuckSettings = 5;

// Every item the state holds, by number: for "known" flags and for the
// items a change or a report touches.
namespace item {
constexpr int Gain(int index) { return index; }                     // 0..10
constexpr int Mute(int index) { return kStateChannels + index; }    // 11..21
constexpr int Priority(int mic) { return 2 * kStateChannels + mic; }  // 22..27, mic 0..5
inline constexpr int kSubGanged = 2 * kStateChannels + kStateMics;  // 28
inline constexpr int kMasterGanged = kSubGanged + 1;
inline constexpr int kLineSource = kSubGanged + 2;
inline constexpr int kDuckState = kSubGanged + 3;  // manual ducking and ducking active
constexpr int Ducking(int setting) { return kDuckState + 1 + setting; }
inline constexpr int kSwitchOn = kDuckState + 1 + kDuckSettings;
inline constexpr int kCount = kSwitchOn + 1;
}  // namespace item
using ItemSet = std::bitset<item::kCount>;

// The item a report sets, or -1 (acknowledgements, levels, refusals, ...).
int ItemOfReport(const ReportEvent& e);

struct DeviceState {
    std::array<std::uint8_t, kStateChannels> gain{};  // positions 0..79 (79 = mute position)
    std::array<bool, kStateChannels> mute{};
    std::array<bool, kStateMics> priority{};
    bool subGanged = false;
    bool masterGanged = false;
    std::uint8_t lineSource = 0;  // 0 off, 1 tuner, 2 tape, 3 cd, 4 aux
    bool manualDucking = false;
    bool duckingActive = false;                        // read-only: speech right now
    std::array<std::uint8_t, kDuckSettings> ducking{};  // by DuckSetting, the device's bytes
    std::uint8_t switchOn = 0;                          // 0 off, 1..3 preset

    // Not settings, so not compared: which items a report has set since the
    // state was last forgotten, and what each level bar shows (the gain, or
    // the ducked level the device reports).
    ItemSet known;
    std::array<std::uint8_t, kStateChannels> level{};

    // The settings alone.
    bool operator==(const DeviceState& other) const;

    // Applies a report and marks its item known; false when it carries
    // nothing this state keeps (levels are kept all the same).
    bool Apply(const ReportEvent& e);
    bool AllKnown() const { return known.all(); }
};

// Channel byte <-> state index; -1 for a byte that is no channel.
int StateIndexOfChannel(std::uint8_t channelByte);
std::uint8_t ChannelOfStateIndex(int index);
// "line", "sub_left", ..., "mic1".."mic6".
const char* StateChannelName(int index);

// One command of a change set and the report that confirms it.
struct StateChange {
    LCmd command;
    ReportEvent expect;
};

// The commands that take a device in state `from` to `to`, only for items
// that differ (ducking.active is not settable and ignored).
std::vector<StateChange> ChangesTo(const DeviceState& from, const DeviceState& to);
// ChangesTo for a restore, which must end with every item as in `to`: on a
// pair ganged in `to`, the device drives the right output with the left, so
// a left gain or mute planned also plans the right one after it, and
// ganging where a side is muted (which mutes both) plans both mutes.
std::vector<StateChange> RestoreChanges(const DeviceState& from, const DeviceState& to);
// The commands that set the items of `items` to their values in `to`,
// whatever they are now; in the same order as ChangesTo.
std::vector<StateChange> CommandsFor(const DeviceState& to, const ItemSet& items);
// The item a change sets.
int ItemOfChange(const StateChange& change);
// An item's value as its command carries it: a gain's position, 1 or 0 for a
// mute, a priority, a joined pair and manual ducking, a ducking setting's
// byte, the line source, the switch-on setting.
std::uint8_t ItemValue(const DeviceState& state, int item);
// The change that sets one item to `value`, built as CommandsFor builds it
// (the one place that knows which command sets which item); none for an item
// that does not exist.
std::optional<StateChange> ItemChange(int item, std::uint8_t value);
// The item `command` sets: the one whose change with the command's value is
// this very command; -1 for any other command.
int ItemOfCommand(const LCmd& command);
// The change a setting command makes, with the report that confirms it;
// nothing for a command that sets no item.
std::optional<StateChange> ChangeOf(const LCmd& command);

// Whether `reply` is the device's confirmation of `change`.
bool Confirms(const StateChange& change, const ReportEvent& reply);
