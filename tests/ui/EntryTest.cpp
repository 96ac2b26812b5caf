#include "Entry.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using GK = GainEntry::Kind;
using PK = PrefEntry::Kind;

struct GainCase {
    const char* text;
    GK kind;
    int position;  // when valid
};

class GainEntries : public testing::TestWithParam<GainCase> {};

TEST_P(GainEntries, Parse)
{
    const auto& c = GetParam();
    const GainEntry e = ParseGainEntry(QString::fromUtf8(c.text));
    EXPECT_EQ(e.kind, c.kind) << c.text;
    if (c.kind == GK::Valid) {
        EXPECT_EQ(e.position, c.position) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, GainEntries,
    testing::Values(
        // valid, every unit spelling
        GainCase{"-12.5dB", GK::Valid, 25}, GainCase{"-12.5", GK::Valid, 25}, GainCase{"-12.5db", GK::Valid, 25},
        GainCase{"-12.5DB", GK::Valid, 25}, GainCase{"-12.5Db", GK::Valid, 25},
        // clamped
        GainCase{"5", GK::Valid, 0}, GainCase{"+3", GK::Valid, 0}, GainCase{"-80", GK::Valid, 79},
        GainCase{"-77", GK::Valid, 79}, GainCase{"-76", GK::Valid, 78}, GainCase{"0dB", GK::Valid, 0},
        GainCase{"-17dB", GK::Valid, 33}, GainCase{"-0.5dB", GK::Valid, 1}, GainCase{"-.5", GK::Valid, 1},
        GainCase{".5", GK::Valid, 0}, GainCase{"-5.", GK::Valid, 10},
        GainCase{"-99999999999999999999999999999999999999", GK::Valid, 79},
        // invalid
        GainCase{"-6 dB", GK::Invalid, 0}, GainCase{"--6", GK::Invalid, 0}, GainCase{"6-", GK::Invalid, 0},
        GainCase{"-6dBx", GK::Invalid, 0}, GainCase{"-6d", GK::Invalid, 0}, GainCase{"1.2.3", GK::Invalid, 0},
        GainCase{"-6,5", GK::Invalid, 0}, GainCase{"-", GK::Invalid, 0}, GainCase{"-dB", GK::Invalid, 0},
        GainCase{"0dB ", GK::Invalid, 0}, GainCase{"mute", GK::Invalid, 0}, GainCase{"dB", GK::Invalid, 0},
        GainCase{"-6dBdB", GK::Invalid, 0}, GainCase{"+-6", GK::Invalid, 0}, GainCase{"-\xd9\xa3", GK::Invalid, 0},
        GainCase{"", GK::Empty, 0}));

TEST(GainEntries, DotAtSecondPlaceIsWrittenBack)
{
    EXPECT_EQ(ParseGainEntry("-.5").corrected, "-0.5");
    EXPECT_EQ(ParseGainEntry("-12.5dB").corrected, "-12.5dB");
    EXPECT_EQ(ParseGainEntry("").corrected, "");
}

struct PrefCase {
    const char* text;
    PK kind;
    int value;
};

class PrefEntries : public testing::TestWithParam<PrefCase> {};

TEST_P(PrefEntries, Parse)
{
    const auto& c = GetParam();
    const PrefEntry e = ParsePrefEntry(QString::fromUtf8(c.text));
    EXPECT_EQ(e.kind, c.kind) << c.text;
    if (c.kind == PK::Valid) {
        EXPECT_EQ(e.value, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PrefEntries,
    testing::Values(
        PrefCase{"100", PK::Valid, 100}, PrefCase{"100.9", PK::Valid, 100}, PrefCase{"1.2.3", PK::Valid, 1},
        PrefCase{".5", PK::Valid, 0}, PrefCase{"-5", PK::Valid, -5}, PrefCase{"+7", PK::Valid, 7},
        PrefCase{"-.5", PK::Valid, 0}, PrefCase{"5.", PK::Valid, 5},
        PrefCase{"99999999999999999999", PK::Valid, std::numeric_limits<int>::max()},
        PrefCase{"12a", PK::Invalid, 0}, PrefCase{"1-2", PK::Invalid, 0}, PrefCase{"3+", PK::Invalid, 0},
        PrefCase{"-", PK::Invalid, 0}, PrefCase{"+", PK::Invalid, 0}, PrefCase{" 5", PK::Invalid, 0},
        PrefCase{"", PK::Empty, 0}));

}  // namespace
