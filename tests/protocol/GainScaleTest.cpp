// The fader scale: positions to levels and texts, levels typed back to positions.
#include "Mroutine.h"

#include <gtest/gtest.h>

#include <limits>

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(GainScale, PositionToLevelAndText)
{
    // Half steps to 32, whole steps to 64, double steps to 78, then mute;
    // out of range positions are read as the device would.
    const struct { int position; double db; const char* text; } cases[] = {
        {0, 0.0, "0dB"}, {1, -0.5, "-0.5dB"}, {25, -12.5, "-12.5dB"}, {32, -16.0, "-16dB"},
        {33, -17.0, "-17dB"}, {64, -48.0, "-48dB"}, {65, -50.0, "-50dB"}, {78, -76.0, "-76dB"},
        {79, -104.0, "mute"}, {127, -104.0, "mute"}, {128, 0.0, "0dB"}, {-1, 17.0, "17dB"},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(PositionToDb(c.position), c.db) << c.position;
        EXPECT_EQ(PositionText(c.position), c.text) << c.position;
    }
    for (int p = 0; p <= 79; ++p) {
        EXPECT_EQ(DbToPosition(PositionToDb(p)), p) << "round trip of " << p;
    }
}

TEST(GainScale, TypedLevelToPosition)
{
    const struct { double db; int position; } cases[] = {
        {-0.3, 0}, {-0.7, 1}, {-16.4, 32}, {-16.5, 33}, {-47.9, 63}, {-49.0, 64}, {-76.5, 79}, {-104.0, 79},
        {5.0, 11}, {16.0, 0}, {kNaN, 79}, {-kInf, 79},
        // Huge levels must not overflow the conversion to int.
        {kInf, std::numeric_limits<int>::min()}, {1e300, std::numeric_limits<int>::min()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DbToPosition(c.db), c.position) << c.db;
    }
    EXPECT_DOUBLE_EQ(PositionToDb(std::numeric_limits<int>::min()), 2147483664.0);
}

TEST(GainScale, LevelTextsExactAndInWholeDecibels)
{
    const struct { double db; const char* level; const char* whole; } cases[] = {
        {-16.5, "-16.5dB", "-16dB"}, {-0.5, "-0.5dB", "0dB"}, {-0.0, "0dB", "0dB"}, {-104.0, "mute", "mute"},
        {-27.0, "-27dB", "-27dB"}, {17.0, "17dB", "17dB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LevelText(c.db), c.level) << c.db;
        EXPECT_EQ(WholeDbLevelText(c.db), c.whole) << c.db;
    }
    EXPECT_EQ(WholeDbLevelText(kNaN), "0dB");
}
