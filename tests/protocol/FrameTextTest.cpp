// What every report and command kind reads as in the traffic log: frames in,
// words out, reports through the decoder.
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
    bool sent;
    const char* text;
};

const Case kCases[] = {
    // Received.
    {"01", false, "ACK"},
    {"02", false, "NAK"},
    {"C1 03", false, "line source CD"},
    {"C2 0A 00", false, "Line gain -5dB"},
    {"C2 14 10", false, "no effect"},
    {"C3 21 12", false, "MIC 3 gain -17dB"},
    {"C5 0A 7F", false, "channel 7F level -5dB"},
    {"C8 03", false, "ducking active, manual on"},
    {"C9 01 11", false, "priority MIC 2 on"},
    {"CA 00 02", false, "ganged Master off"},
    {"CC 05 06", false, "Sub levels -2.5dB -3dB"},
    {"CE 01 01", false, "mute Sub left on"},
    {"D3 14", false, "ducking attenuation 20"},
    {"D7 00", false, "switch-on as switched off"},
    {"E0", false, "device busy"},
    {"E1 03", false, "device error 3"},
    {"CB 01 01", false, "unknown report CB"},
    {"C2 14", false, "report C2 too short"},
    // Sent: a command reads as the report that confirms it.
    {"05", true, "poll"},
    {"08", true, "start boot loader"},
    {"A1 00", true, "line source off"},
    {"A2 4F 04", true, "Master right gain mute"},
    {"A3 21 12", true, "MIC 3 gain -17dB"},
    {"A8 02", true, "manual ducking on"},
    {"A9 00 15", true, "priority MIC 6 off"},
    {"AA 01 01", true, "ganged Sub on"},
    {"AB 02 00", true, "load preset 2"},
    {"AB 00 00", true, "load factory set"},
    {"AE 01 01", true, "mute Sub left on"},
    {"AF 03 12", true, "ask MIC 3 gain"},
    {"BF 03", true, "ask switch-on"},
    {"BF 06", true, "ask ducking hold time"},
    {"BF 00", true, "inquiry DX 00"},
    {"B2 33", true, "ducking threshold 51"},
    {"B7 02", true, "switch-on preset 2"},
    {"B8 00", true, "reset presets to factory set"},
    {"A3 22", true, "command A3 too short"},
    {"C0", true, "command C0"},
};
}  // namespace

TEST(FrameText, EveryKind)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.bytes);
        const LCmd frame = Frame(c.bytes);
        EXPECT_EQ(c.sent ? CommandText(frame) : ReportText(DecodeReport(frame)), c.text);
    }
}
