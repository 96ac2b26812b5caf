// What every command kind reads as in the traffic log: frames in, words out
// (the reports' words are in the decoder's table).
#include "FrameText.h"
#include "Hex.h"

#include <gtest/gtest.h>

namespace {
LCmd Frame(const std::string& subAndPayload)
{
    const std::string length = std::to_string(Hex(subAndPayload).size());
    return LCmd(Hex("10 02 01 " + length + " " + subAndPayload + " 10 03 00"));
}

struct Case {
    const char* bytes;
    const char* text;
};

const Case kCases[] = {
    // Sent: a command reads as the report that confirms it.
    {"05", "poll"},
    {"08", "start boot loader"},
    {"A1 00", "line source off"},
    {"A2 4F 04", "Master right gain mute"},
    {"A3 21 12", "MIC 3 gain -17dB"},
    {"A8 02", "manual ducking on"},
    {"A9 00 15", "priority MIC 6 off"},
    {"AA 01 01", "ganged Sub on"},
    {"AB 02 00", "load preset 2"},
    {"AB 00 00", "load factory set"},
    {"AE 01 01", "mute Sub left on"},
    {"AF 03 12", "ask MIC 3 gain"},
    {"BF 03", "ask switch-on"},
    {"BF 06", "ask ducking hold time"},
    {"BF 00", "inquiry DX 00"},
    {"B2 33", "ducking threshold 51"},
    {"B7 02", "switch-on preset 2"},
    {"B8 00", "reset presets to factory set"},
    {"A3 22", "command A3 too short"},
    {"C0", "command C0"},
};
}  // namespace

TEST(FrameText, EveryCommandKind)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.bytes);
        const LCmd frame = Frame(c.bytes);
        EXPECT_EQ(CommandText(frame), c.text);
    }
}
