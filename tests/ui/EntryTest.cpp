// Parsing what the user types into the level and preference boxes.
#include "Entry.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Entry, GainTextToFaderPosition)
{
    // corrected: written back into the box
    const struct { const char* text; int position; const char* corrected; } valid[] = {
        {"-12.5dB", 25, "-12.5dB"}, {"-12.5", 25, "-12.5"}, {"-12.5Db", 25, "-12.5Db"},
        // clamped to the scale
        {"5", 0, "5"}, {"+3", 0, "+3"}, {"0", 0, "0"}, {"+0.5", 0, "+0.5"},
        {"-76", 78, "-76"}, {"-77", 79, "-77"}, {"-79", 79, "-79"}, {"-80", 79, "-80"},
        {"-99999999999999999999999999999999999999", 79, "-99999999999999999999999999999999999999"},
        // a dot at the second place gets its zero
        {"-.5", 1, "-0.5"}, {".5", 0, ".5"}, {"-5.", 10, "-5."},
    };
    for (const auto& c : valid) {
        const GainEntry e = ParseGainEntry(QString::fromUtf8(c.text));
        EXPECT_EQ(e.kind, GainEntry::Kind::Valid) << c.text;
        EXPECT_EQ(e.position, c.position) << c.text;
        EXPECT_EQ(e.corrected, c.corrected) << c.text;
    }
    for (const char* text : {"-6 dB", "--6", "6-", "-6dBx", "-6d", "1.2.3", "-6,5", "-", "-dB", "0dB ", "mute", "dB",
                             "-6dBdB", "+-6", "-\xd9\xa3" /* a digit, but not an ASCII one */}) {
        EXPECT_EQ(ParseGainEntry(QString::fromUtf8(text)).kind, GainEntry::Kind::Invalid) << text;
    }
    EXPECT_EQ(ParseGainEntry("").kind, GainEntry::Kind::Empty);
}

TEST(Entry, PreferenceTextToNumber)
{
    const struct { const char* text; int value; } valid[] = {
        {"100", 100}, {"100.9", 100}, {"1.2.3", 1}, {".5", 0}, {"-5", -5}, {"+7", 7}, {"-.5", 0}, {"5.", 5},
        {"99999999999999999999", std::numeric_limits<int>::max()},
    };
    for (const auto& c : valid) {
        const PrefEntry e = ParsePrefEntry(QString::fromUtf8(c.text));
        EXPECT_EQ(e.kind, PrefEntry::Kind::Valid) << c.text;
        EXPECT_EQ(e.value, c.value) << c.text;
    }
    for (const char* text : {"12a", "1-2", "3+", "-", "+", " 5"}) {
        EXPECT_EQ(ParsePrefEntry(QString::fromUtf8(text)).kind, PrefEntry::Kind::Invalid) << text;
    }
    EXPECT_EQ(ParsePrefEntry("").kind, PrefEntry::Kind::Empty);
}
