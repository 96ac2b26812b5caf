// What the simulated KESTRA remembers: the live mixer settings, three user
// presets, the factory set (preset 0) and the switch-on setting.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

inline constexpr int kStereoChannels = 5;  // line, sub L/R, master L/R: channel bytes 0x00..0x04
inline constexpr int kMics = 6;            // channel bytes 0x10..0x15
inline constexpr int kPresets = 3;

// Limits of every setting, as the device accepts them.
inline constexpr std::uint8_t kMaxGain = 79;
inline constexpr std::uint8_t kMaxLineSource = 4;
inline constexpr std::uint8_t kMinThreshold = 2;
inline constexpr std::uint8_t kMaxThreshold = 127;
inline constexpr std::uint8_t kMaxAttenuation = 79;
inline constexpr std::uint8_t kMinHold = 1;
inline constexpr std::uint8_t kMaxHold = 100;
inline constexpr std::uint8_t kMaxFade = 63;
inline constexpr std::uint8_t kMaxSwitchOn = 3;

// One complete mixer setting: what a preset holds and what the device runs with.
struct Settings {
    std::array<std::uint8_t, kStereoChannels> stereoGain{};
    std::array<std::uint8_t, kMics> micGain{};
    std::array<bool, kStereoChannels> stereoMute{};
    std::array<bool, kMics> micMute{};
    std::array<bool, kMics> priority{};
    std::uint8_t lineSource = 1;
    bool subGanged = false;
    bool masterGanged = false;
    bool manualDucking = false;
    std::uint8_t threshold = 51;    // byte sent by the panel: 129 - fader position
    std::uint8_t attenuation = 20;  // gain steps taken off ducked channels
    std::uint8_t holdTime = 50;     // units of 10 ms
    std::uint8_t fadeOut = 10;      // ms per gain step while ducking sets in; 0 = at once
    std::uint8_t fadeIn = 20;       // ms per gain step while it ends; 0 = at once

    bool operator==(const Settings&) const = default;

    // Every field inside its limits.
    bool Valid() const;
    // The set that a factory reset and preset 0 restore.
    static Settings Factory();
};

struct DeviceState {
    Settings live = Settings::Factory();
    std::array<Settings, kPresets> presets{Settings::Factory(), Settings::Factory(), Settings::Factory()};
    std::uint8_t switchOn = 0;  // 0: start as switched off; 1..3: start with that preset

    bool operator==(const DeviceState&) const = default;
    bool Valid() const;

    // A reproducible state with every item drawn inside its limits.
    static DeviceState Random(std::uint32_t seed);
};

// Mixer state after power-up: the switch-on preset when one is chosen,
// otherwise the state as it was switched off.
Settings SwitchOnSettings(const DeviceState& state);

}  // namespace sim
