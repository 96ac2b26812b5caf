// The device's memory on disk, so that presets, the switch-on setting and
// the state as switched off survive a restart of the simulator.
//
// Text, one line per record:
//   kestra-sim-state 1
//   live <37 numbers>
//   preset1 <37 numbers>   (preset2, preset3 alike)
//   switchon <0..3>
// The numbers of a setting, in order: 5 stereo gains, 6 mic gains, 5 stereo
// mutes, 6 mic mutes, 6 priorities, line source, sub ganged, master ganged,
// manual ducking, threshold, attenuation, hold time, fade-out, fade-in.
#pragma once

#include "DeviceState.h"

#include <optional>
#include <string>

namespace sim {

std::string FormatState(const DeviceState& state);
// nullopt for anything but a complete, in-range state.
std::optional<DeviceState> ParseState(const std::string& text);

// Whole state or nothing: a missing, unreadable or corrupt file gives nullopt.
std::optional<DeviceState> LoadStateFile(const std::string& path);
// Writes a temporary file beside `path` and renames it over `path`, so that a
// crash mid-write never leaves a half-written state behind. False on failure.
bool SaveStateFile(const std::string& path, const DeviceState& state);

}  // namespace sim
