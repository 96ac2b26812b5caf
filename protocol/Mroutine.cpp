#include "Mroutine.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

double PositionToDb(int p)
{
    if (p >= 0 && p <= 32) {
        return p * -0.5;
    }
    if (p <= 64) {
        return p * -1.0 + 16.0;
    }
    if (p <= 78) {
        return p * -2.0 + 80.0;
    }
    if (p <= 127) {
        return kMuteDb;
    }
    return 0.0;
}

namespace {
// Cut toward zero, kept inside int so that no input is undefined behaviour.
int TruncToInt(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (v <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}
}  // namespace

int DbToPosition(double d)
{
    if (std::isnan(d)) {
        return kMutePosition;
    }
    if (d <= 0.0 && d > -17.0) {
        return TruncToInt(d * -2.0);
    }
    if (d > -48.0) {
        return TruncToInt((d - 16.0) * -1.0);
    }
    if (d >= -76.0) {
        return TruncToInt((d - 80.0) * -0.5);
    }
    return kMutePosition;
}

std::string LevelText(double db)
{
    if (db == kMuteDb) {
        return "mute";
    }
    // +0.0 turns a negative zero into zero: position 0 shows "0dB".
    const double value = db + 0.0;
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (result.ec != std::errc()) {
        return "dB";
    }
    return std::string(buf, result.ptr) + "dB";
}

std::string WholeDbLevelText(double db)
{
    if (db == kMuteDb) {
        return "mute";
    }
    return std::to_string(TruncToInt(std::trunc(db))) + "dB";
}
