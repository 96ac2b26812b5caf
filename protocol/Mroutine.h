// Gain scale: fader positions (0 = 0 dB at the top, 79 = mute) to decibels
// and back, and the texts in which a level is shown.
//
//   positions  0..32   0.5 dB steps   0.0 .. -16.0
//             33..64   1 dB steps   -17.0 .. -48.0
//             65..78   2 dB steps   -50.0 .. -76.0
//             79..127  mute (-104.0)
//             above    0.0
#pragma once

#include <string>

inline constexpr double kMuteDb = -104.0;
inline constexpr int kMutePosition = 79;

double PositionToDb(int position);
int DbToPosition(double db);

// "mute" for -104, else the level with up to 15 significant digits and "dB"
// ("0dB", "-16.5dB"). The decimal point is always "." whatever the locale, so
// a shown level can be typed back.
std::string LevelText(double db);

// The level cut toward zero to a whole number of decibels: "-16dB" for -16.5.
std::string WholeDbLevelText(double db);

// Level text of a position, the form every gain display uses.
inline std::string PositionText(int position) { return LevelText(PositionToDb(position)); }
