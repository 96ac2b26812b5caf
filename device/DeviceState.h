// The headless programs' copy of the device: everything the 49 inquiries of
// the full-state read report, kept as the device's own bytes. Reports are
// applied through the one decoder (ReportDecoder.h); the commands that turn
// one state into another come from ChangesTo.
#pragma once

#include "Lcmd.h"
#include "ReportDecoder.h"

#include <array>
#include <cstdint>
#include <vector>

// Channels in state order: line, sub L/R, master L/R, microphones 1..6.
inline constexpr int kStateChannels = 11;
inline constexpr int kFirstMicIndex = 5;
inline constexpr int kStateMics = 6;
inline constexpr int kDuckSettings = 5;

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

    bool operator==(const DeviceState&) const = default;

    // Applies a report; false when it carries nothing this state keeps.
    bool Apply(const ReportEvent& e);
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

// Whether `reply` is the device's confirmation of `change`.
bool Confirms(const StateChange& change, const ReportEvent& reply);
