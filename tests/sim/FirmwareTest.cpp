// The regular firmware, frame by frame: what each command changes, what it
// answers, and how ducking moves the levels it reports on a clock passed in.
#include "Commands.h"
#include "Firmware.h"
#include "SimTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using sim::DeviceState;
using sim::Firmware;
using sim::Settings;

namespace {

std::string Ask(Firmware& fw, const LCmd& cmd, std::int64_t t = 0) { return ToHex(fw.HandleFrame(cmd, t)); }
std::string Poll(Firmware& fw, std::int64_t t) { return Ask(fw, CM_MCS_POLLING(sub::kPoll), t); }
const std::string kAck = R("01");

// Each row's frames in turn on a device in a random state: each draws the
// reply, and only the row's own item changes (nothing, for refusals). The
// firmware gets parsed frames, so the checksums do not matter here.
TEST(Firmware, EachFrameChangesOnlyItsItemAndDrawsItsReply)
{
    struct Case {
        const char* bodies;  // sub and payload, "|" between frames
        const char* reply;
        void (*apply)(DeviceState&) = nullptr;  // none: a refusal, nothing changes
    };
    const Case cases[] = {
        // A setting, then the inquiry that reports it.
        {"A1 03|AF 01 00", "C1 03", [](DeviceState& d) { d.live.lineSource = 3; }},
        {"A2 21 04|AF 02 04", "C2 21 04", [](DeviceState& d) { d.live.stereoGain[4] = 33; }},
        {"A2 4F 00|AF 02 00", "C2 4F 00", [](DeviceState& d) { d.live.stereoGain[0] = 79; }},
        {"A3 0A 12|AF 03 12", "C3 0A 12", [](DeviceState& d) { d.live.micGain[2] = 10; }},
        {"A8 02|AF 04", "C8 02", [](DeviceState& d) { d.live.manualDucking = true; }},
        {"A9 00 15|AF 05 15", "C9 00 15", [](DeviceState& d) { d.live.priority[5] = false; }},
        {"AA 01 02|AF 06 02", "CA 01 02", [](DeviceState& d) { d.live.masterGanged = true; }},
        {"AE 01 02|AF 07 02", "CE 01 02", [](DeviceState& d) { d.live.stereoMute[2] = true; }},
        {"B2 7F|BF 04", "D2 7F", [](DeviceState& d) { d.live.threshold = 127; }},
        {"B3 4F|BF 05", "D3 4F", [](DeviceState& d) { d.live.attenuation = 79; }},
        {"B4 64|BF 06", "D4 64", [](DeviceState& d) { d.live.holdTime = 100; }},
        {"B5 3F|BF 07", "D5 3F", [](DeviceState& d) { d.live.fadeOut = 63; }},
        {"B6 00|BF 08", "D6 00", [](DeviceState& d) { d.live.fadeIn = 0; }},
        {"B7 02|BF 03", "D7 02", [](DeviceState& d) { d.switchOn = 2; }},
        // Presets: saving takes the live state into that one preset only,
        // loading leaves the presets, resetting leaves the live state.
        {"AB 02 01", "01", [](DeviceState& d) { d.presets[1] = d.live; }},
        {"AB 03 00", "01", [](DeviceState& d) { d.live = d.presets[2]; }},
        {"AB 00 00", "01", [](DeviceState& d) { d.live = Settings::Factory(); }},
        {"B8 00", "01", [](DeviceState& d) { d = DeviceState{d.live}; }},
        // "request data invalid": values out of range, channels that do not exist, payload missing
        {"A2 C8 00|A3 50 10|A1 05|A8 01|A9 02 10|AA 01 03|B2 01|B2 80|B3 50|B4 00|B4 65|B5 40|B6 40|B7 04", "E1 04"},
        {"A2 00 05|A3 00 16|A3 00 01|AE 01 08|AB 00 01|AB 04 00|AB 01 02|AF 02 10", "E1 04"},
        {"A3 00|A1|B8|AF 07|AF", "E1 04"},
        // "request id unknown": gaps in the catalogue, a report's sub byte, parameters beyond the last
        {"A4|CB|AF 08|BF 09", "E1 03"},
    };
    for (const Case& c : cases) {
        const DeviceState before = DeviceState::Random(7);
        DeviceState expected = before;
        if (c.apply) {
            c.apply(expected);
        }
        Firmware fw(before);
        std::istringstream list(c.bodies);
        for (std::string body; std::getline(list, body, '|');) {
            SCOPED_TRACE(body);
            EXPECT_EQ(Ask(fw, LCmd(Framed(body))), R(c.reply));
            EXPECT_EQ(fw.State(), expected) << "the frame changed more (or less) than its own item";
            EXPECT_EQ(fw.Revision() > 0, c.apply != nullptr);
        }
    }
    // Another command byte than 01, and length 0 where the sub byte would be the DLE.
    for (const char* frame : {"10 02 02 01 05 10 03 00", "10 02 01 00 10 03 00"}) {
        Firmware fw;
        EXPECT_EQ(Ask(fw, LCmd(Hex(frame))), R("E1 03")) << frame;
    }
}

// Mics 2 and 3 have no priority and are ducked, mic 6 is muted; attenuation
// 10 steps, hold 50 ms, fades at once unless a test sets them.
DeviceState DuckingState()
{
    DeviceState d;
    d.live.stereoGain = {10, 0, 0, 0, 0};
    d.live.micGain = {20, 30, 75, 40, 40, 40};
    d.live.priority = {true, false, false, true, true, true};
    d.live.micMute = {false, false, false, false, false, true};
    d.live.attenuation = 10;
    d.live.holdTime = 5;
    d.live.fadeOut = 0;
    d.live.fadeIn = 0;
    return d;
}

TEST(Ducking, PollsReportTheDuckedLevelsUntilTheHoldEnds)
{
    Firmware fw(DuckingState());
    fw.SetSpeech(0b100000, 0);
    EXPECT_FALSE(fw.DuckingActive()) << "a muted microphone's speech does not duck";
    EXPECT_EQ(Poll(fw, 1), kAck);
    fw.SetSpeech(0b000001, 10);
    // Line 10 + 10; mic 2 30 + 10; mic 3 75 + 10 ends at the mute position 79.
    const char* const ducking[] = {"C8 01", "C4 14 00", "C5 28 11", "C5 4F 12", "01"};
    for (const char* r : ducking) {
        EXPECT_EQ(Poll(fw, 10), R(r));
    }
    EXPECT_EQ(Ask(fw, CM_MCS_MIC(40, 0x11), 11), R("C3 28 11"));
    std::vector<std::string> again;
    for (std::string r = Poll(fw, 12); r != kAck; r = Poll(fw, 12)) {
        again.push_back(r);
    }
    EXPECT_NE(std::find(again.begin(), again.end(), R("C5 32 11")), again.end()) << "a gain changed while ducked is reported ducked";
    fw.SetSpeech(0, 100);
    EXPECT_EQ(Poll(fw, 149), kAck) << "still holding";
    const char* const released[] = {"C8 00", "C4 0A 00", "C5 28 11", "C5 4B 12", "01"};
    for (const char* r : released) {
        EXPECT_EQ(Poll(fw, 150), R(r));
    }
    EXPECT_FALSE(fw.DuckingActive());
}

// One clock for speech, the hold, the fades and manual ducking: the depth of
// the ducked levels and the state byte an inquiry reads at each step.
TEST(Ducking, FadesStepByStepOnTheClockItIsGiven)
{
    DeviceState d = DuckingState();
    d.live.fadeOut = 5;  // ms per step
    d.live.fadeIn = 2;
    Firmware fw(d);
    enum Event { Clock, Speech, Quiet, ManualOn, ManualOff };
    const struct { std::int64_t t; Event event; int depth; const char* state; } steps[] = {
        {0, Speech, 0, "C8 01"}, {4, Clock, 0, "C8 01"}, {5, Clock, 1, "C8 01"}, {22, Clock, 4, "C8 01"},
        {10, Clock, 4, "C8 01"},  // a clock going back is ignored
        {49, Clock, 9, "C8 01"}, {50, Clock, 10, "C8 01"}, {500, Clock, 10, "C8 01"},
        // Held for 50 ms after the speech, then 2 ms per step back.
        {1000, Quiet, 10, "C8 01"}, {1049, Clock, 10, "C8 01"}, {1050, Clock, 10, "C8 00"},
        {1054, Clock, 8, "C8 00"}, {1067, Clock, 1, "C8 00"}, {1069, Clock, 0, "C8 00"},
        // Manual ducking lowers the levels too, without the active bit; its
        // levels move on a clock step, not inside the command.
        {1070, ManualOn, 0, "C8 02"}, {1075, Clock, 1, "C8 02"}, {1120, Speech, 10, "C8 03"},
        {1121, Quiet, 10, "C8 03"}, {1200, Clock, 10, "C8 02"}, {1201, ManualOff, 10, "C8 00"}, {1221, Clock, 0, "C8 00"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.t);
        if (s.event == Speech || s.event == Quiet) {
            fw.SetSpeech(s.event == Speech ? 1u : 0u, s.t);
        }
        const bool manual = s.event == ManualOn || s.event == ManualOff;
        const LCmd ask = manual ? LCmd(CM_MCS_MANDUCKING(s.event == ManualOn ? 2 : 0)) : LCmd(CM_MCS_INQUIRY(4));
        EXPECT_EQ(Ask(fw, ask, s.t), R(s.state));
        EXPECT_EQ(fw.DuckDepth(), s.depth);
    }
}

}  // namespace
