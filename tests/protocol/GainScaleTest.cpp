#include "Mroutine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct PositionCase {
    int position;
    double db;
    const char* text;
};

class PositionToLevel : public testing::TestWithParam<PositionCase> {};

TEST_P(PositionToLevel, LevelAndText)
{
    const auto& c = GetParam();
    EXPECT_DOUBLE_EQ(PositionToDb(c.position), c.db) << c.position;
    EXPECT_EQ(PositionText(c.position), c.text) << c.position;
}

INSTANTIATE_TEST_SUITE_P(Scale, PositionToLevel,
    testing::Values(
        PositionCase{0, 0.0, "0dB"}, PositionCase{1, -0.5, "-0.5dB"}, PositionCase{25, -12.5, "-12.5dB"},
        PositionCase{32, -16.0, "-16dB"}, PositionCase{33, -17.0, "-17dB"}, PositionCase{64, -48.0, "-48dB"},
        PositionCase{65, -50.0, "-50dB"}, PositionCase{78, -76.0, "-76dB"}, PositionCase{79, -104.0, "mute"},
        PositionCase{100, -104.0, "mute"}, PositionCase{127, -104.0, "mute"}, PositionCase{128, 0.0, "0dB"},
        PositionCase{200, 0.0, "0dB"}, PositionCase{-1, 17.0, "17dB"}));

struct LevelCase {
    double db;
    int position;
};

class LevelToPosition : public testing::TestWithParam<LevelCase> {};

TEST_P(LevelToPosition, Position)
{
    EXPECT_EQ(DbToPosition(GetParam().db), GetParam().position) << GetParam().db;
}

INSTANTIATE_TEST_SUITE_P(Scale, LevelToPosition,
    testing::Values(
        LevelCase{0.0, 0}, LevelCase{-0.3, 0}, LevelCase{-0.7, 1}, LevelCase{-16.4, 32}, LevelCase{-16.5, 33},
        LevelCase{-17.0, 33}, LevelCase{-47.5, 63}, LevelCase{-47.9, 63}, LevelCase{-48.0, 64},
        LevelCase{-49.0, 64}, LevelCase{-76.0, 78}, LevelCase{-76.5, 79}, LevelCase{-77.0, 79},
        LevelCase{-104.0, 79}, LevelCase{5.0, 11}, LevelCase{16.0, 0},
        LevelCase{std::numeric_limits<double>::quiet_NaN(), 79},
        LevelCase{-std::numeric_limits<double>::infinity(), 79}));

TEST(GainScale, EveryFaderPositionSurvivesTheRoundTrip)
{
    for (int p = 0; p <= 79; ++p) {
        EXPECT_EQ(DbToPosition(PositionToDb(p)), p) << p;
    }
}

TEST(GainScale, ExtremeInputsStayDefined)
{
    // Huge values must not overflow the int conversion (undefined behaviour).
    EXPECT_EQ(DbToPosition(std::numeric_limits<double>::infinity()), std::numeric_limits<int>::min());
    EXPECT_EQ(DbToPosition(1e300), std::numeric_limits<int>::min());
    EXPECT_DOUBLE_EQ(PositionToDb(std::numeric_limits<int>::min()), 2147483664.0);
    EXPECT_EQ(WholeDbLevelText(std::numeric_limits<double>::quiet_NaN()), "0dB");
}

struct TextCase {
    double db;
    const char* level;
    const char* whole;
};

class LevelTexts : public testing::TestWithParam<TextCase> {};

TEST_P(LevelTexts, BothForms)
{
    EXPECT_EQ(LevelText(GetParam().db), GetParam().level);
    EXPECT_EQ(WholeDbLevelText(GetParam().db), GetParam().whole);
}

INSTANTIATE_TEST_SUITE_P(Texts, LevelTexts,
    testing::Values(
        TextCase{-16.5, "-16.5dB", "-16dB"}, TextCase{-0.5, "-0.5dB", "0dB"}, TextCase{-0.0, "0dB", "0dB"},
        TextCase{-104.0, "mute", "mute"}, TextCase{-27.0, "-27dB", "-27dB"}, TextCase{-12.5, "-12.5dB", "-12dB"},
        TextCase{17.0, "17dB", "17dB"}));

}  // namespace
