// The regular firmware, frame by frame: what each command changes, what it
// answers, and how ducking moves the levels it reports on a clock passed in.
#include "Firmware.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

using sim::DeviceState;
using sim::Firmware;
using sim::Settings;

namespace {

std::string Ask(Firmware& fw, const LCmd& cmd, std::int64_t t = 0) { return ToHex(fw.HandleFrame(cmd, t)); }

// Each row's frames in turn on a device in a random state: each draws the
// reply, and only the row's own item changes (nothing, for refusals). The
// firmware gets parsed frames, so the checksums do not matter here.
TEST(Firmware, EachFrameChangesOnlyItsItemAndDrawsItsReply)
{
    // bodies: sub and payload, "|" between frames
    // apply: none for a refusal, which changes nothing
    struct Case { const char* bodies; const char* reply; void (*apply)(DeviceState&) = nullptr; };
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

// A ganged pair, one frame after another: the left output drives the right
// at the distance the pair had when ganged (held inside 0..79), a mute
// covers both, a command for the right sets it alone, and only the left is
// reported. (Ganging with one side muted: the engine's ganged-pair test.)
TEST(Firmware, GangedPairMovesItsRightOutputWithTheLeft)
{
    DeviceState start;
    start.live.stereoGain = {0, 10, 20, 40, 40};
    Firmware fw(start);
    const struct { const char* body; const char* reply; int left, right; bool leftMuted, rightMuted; } steps[] = {
        {"AA 01 01", "CA 01 01", 10, 20, false, false},
        {"A2 0F 01", "C2 0F 01", 15, 25, false, false},
        {"A2 48 01", "C2 48 01", 72, 79, false, false},
        {"A2 45 01", "C2 45 01", 69, 79, false, false},
        {"AE 01 01", "CE 01 01", 69, 79, true, true},
        {"A2 05 02", "C2 05 02", 69, 5, true, true},
        {"A2 46 01", "C2 46 01", 70, 6, true, true},  // at the new distance
        {"AE 00 02", "CE 00 02", 70, 6, true, false},
        {"AA 00 01", "CA 00 01", 70, 6, true, true},  // parted: the right takes the left's mute
        {"A2 00 01", "C2 00 01", 0, 6, true, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.body);
        EXPECT_EQ(Ask(fw, LCmd(Framed(s.body))), R(s.reply));
        const Settings& live = fw.State().live;
        EXPECT_EQ(std::tuple(live.stereoGain[1], live.stereoGain[2], live.stereoMute[1], live.stereoMute[2]),
                  std::tuple(s.left, s.right, s.leftMuted, s.rightMuted));
    }
}

// Ducking as the panel sees it, on one clock passed in: the speech (bit n-1
// for mic n) set before the row's frame, the reply, and the gain steps then
// taken off the ducked channels. Mics 2 and 3 have no priority and are
// ducked, mic 6 is muted; attenuation 10 steps, hold 50 ms, fades at once
// until the frames set them.
TEST(Ducking, SpeechHoldFadesAndManualDuckingOnOneClock)
{
    const Settings live{.stereoGain = {10, 0, 0, 0, 0}, .micGain = {20, 30, 75, 40, 40, 40},
                        .micMute = {false, false, false, false, false, true}, .priority = {true, false, false, true, true, true},
                        .attenuation = 10, .holdTime = 5, .fadeOut = 0, .fadeIn = 0};
    Firmware fw(DeviceState{live});
    constexpr int kSame = -1;
    const struct { std::int64_t t; int speech; const char* body; const char* reply; int depth; } steps[] = {
        {0, 0b100000, "AF 04", "C8 00", 0},  // a muted microphone's speech does not duck
        {1, kSame, "05", "01", 0},
        // Polls report the ducked levels: the line 10 + 10, mic 3 75 + 10 ends at mute.
        {10, 0b1, "05", "C8 01", 10}, {10, kSame, "05", "C4 14 00", 10}, {10, kSame, "05", "C5 28 11", 10},
        {10, kSame, "05", "C5 4F 12", 10}, {10, kSame, "05", "01", 10},
        {11, kSame, "A3 28 11", "C3 28 11", 10},  // a gain changed while ducked is reported ducked
        {12, kSame, "05", "C4 14 00", 10}, {12, kSame, "05", "C5 32 11", 10}, {12, kSame, "05", "C5 4F 12", 10},
        {12, kSame, "05", "01", 10},
        {100, 0, "05", "01", 10}, {149, kSame, "05", "01", 10},  // held until 150
        {150, kSame, "05", "C8 00", 0}, {150, kSame, "05", "C4 0A 00", 0}, {150, kSame, "05", "C5 28 11", 0},
        {150, kSame, "05", "C5 4B 12", 0}, {150, kSame, "05", "01", 0},
        // Fades of 5 ms per step down and 2 ms back; a clock going back is ignored.
        {200, kSame, "B5 05", "D5 05", 0}, {200, kSame, "B6 02", "D6 02", 0},
        {1000, 0b1, "AF 04", "C8 01", 0}, {1004, kSame, "AF 04", "C8 01", 0}, {1005, kSame, "AF 04", "C8 01", 1},
        {1022, kSame, "AF 04", "C8 01", 4}, {1010, kSame, "AF 04", "C8 01", 4}, {1049, kSame, "AF 04", "C8 01", 9},
        {1050, kSame, "AF 04", "C8 01", 10}, {2000, 0, "AF 04", "C8 01", 10}, {2049, kSame, "AF 04", "C8 01", 10},
        {2050, kSame, "AF 04", "C8 00", 10}, {2054, kSame, "AF 04", "C8 00", 8}, {2067, kSame, "AF 04", "C8 00", 1},
        {2069, kSame, "AF 04", "C8 00", 0},
        // Manual ducking lowers the levels without the active bit; levels move
        // on a clock step, not inside the command.
        {2070, kSame, "A8 02", "C8 02", 0}, {2075, kSame, "AF 04", "C8 02", 1}, {2120, 0b1, "AF 04", "C8 03", 10},
        {2121, 0, "AF 04", "C8 03", 10}, {2200, kSame, "AF 04", "C8 02", 10}, {2201, kSame, "A8 00", "C8 00", 10},
        {2221, kSame, "AF 04", "C8 00", 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.t) + " " + s.body);
        if (s.speech != kSame) {
            fw.SetSpeech(static_cast<unsigned>(s.speech), s.t);
        }
        EXPECT_EQ(Ask(fw, LCmd(Framed(s.body)), s.t), R(s.reply));
        EXPECT_EQ(fw.DuckDepth(), s.depth);
    }
}

}  // namespace
