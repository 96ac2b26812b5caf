// The names every front end gives the device's choices and settings (the
// state document, decoded reports, OSC addresses, MQTT discovery): written
// once, so that they cannot drift apart.
#pragma once

#include <array>

// By DuckSetting (ReportDecoder.h).
inline constexpr std::array<const char*, 5> kDuckSettingKeys{"threshold", "attenuation", "hold_time", "fade_out",
                                                             "fade_in"};
// By the line source selector's value.
inline constexpr std::array<const char*, 5> kLineSourceKeys{"off", "tuner", "tape", "cd", "aux"};
// By the switch-on setting's value.
inline constexpr std::array<const char*, 4> kSwitchOnKeys{"off", "preset1", "preset2", "preset3"};
