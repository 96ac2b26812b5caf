// Ducking runs on a clock passed in, so these tests step through time.
#include "Commands.h"
#include "Firmware.h"
#include "SimTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>

using sim::DeviceState;
using sim::Firmware;

namespace {

DeviceState DuckingState()
{
    DeviceState d;
    auto& s = d.live;
    s.stereoGain = {10, 0, 0, 0, 0};
    s.micGain = {20, 30, 75, 40, 40, 40};
    s.priority = {true, false, false, true, true, true};  // mics 2 and 3 are ducked
    s.micMute = {false, false, false, false, false, true};
    s.attenuation = 10;
    s.holdTime = 5;  // 50 ms
    s.fadeOut = 0;
    s.fadeIn = 0;
    return d;
}

std::string Poll(Firmware& fw, std::int64_t t) { return ToHex(fw.HandleFrame(CM_MCS_POLLING(sub::kPoll), t)); }

const std::string kAck = R("01");

TEST(Ducking, SpeechDucksLineAndMicsWithoutPriorityUntilHoldEnds)
{
    Firmware fw(DuckingState());
    EXPECT_EQ(Poll(fw, 0), kAck);
    fw.SetSpeech(0b000001, 10);  // mic 1 speaks
    EXPECT_TRUE(fw.DuckingActive());
    EXPECT_EQ(Poll(fw, 10), R("C8 01"));
    EXPECT_EQ(Poll(fw, 11), R("C4 14 00")) << "line 10 + attenuation 10";
    EXPECT_EQ(Poll(fw, 12), R("C5 28 11")) << "mic 2: 30 + 10";
    EXPECT_EQ(Poll(fw, 13), R("C5 4F 12")) << "mic 3: 75 + 10 ends at mute 79";
    EXPECT_EQ(Poll(fw, 14), kAck) << "nothing changed since";

    fw.SetSpeech(0, 100);
    EXPECT_EQ(Poll(fw, 149), kAck) << "still holding";
    EXPECT_TRUE(fw.DuckingActive());
    EXPECT_EQ(Poll(fw, 150), R("C8 00"));
    EXPECT_FALSE(fw.DuckingActive());
    EXPECT_EQ(Poll(fw, 151), R("C4 0A 00"));
    EXPECT_EQ(Poll(fw, 152), R("C5 1E 11"));
    EXPECT_EQ(Poll(fw, 153), R("C5 4B 12"));
    EXPECT_EQ(Poll(fw, 154), kAck);
}

TEST(Ducking, InquiryReportsActiveStateAndManualBit)
{
    Firmware fw(DuckingState());
    fw.SetSpeech(0b000010, 0);
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_INQUIRY(4), 1)), R("C8 01"));
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_MANDUCKING(2), 2)), R("C8 03"));
    fw.SetSpeech(0, 3);
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_INQUIRY(4), 60)), R("C8 02"));
}

TEST(Ducking, SpeechOnlyOnMutedMicrophonesDoesNotDuck)
{
    Firmware fw(DuckingState());
    fw.SetSpeech(0b100000, 0);  // mic 6 is muted
    EXPECT_FALSE(fw.DuckingActive());
    EXPECT_EQ(Poll(fw, 1), kAck);
}

TEST(Ducking, FadesStepByStepAtTheConfiguredSpeeds)
{
    DeviceState d = DuckingState();
    d.live.fadeOut = 5;  // ms per step
    d.live.fadeIn = 2;
    Firmware fw(d);
    fw.SetSpeech(1, 0);
    struct Step {
        std::int64_t t;
        int depth;
    };
    for (const auto& s : {Step{4, 0}, Step{5, 1}, Step{22, 4}, Step{49, 9}, Step{50, 10}, Step{500, 10}}) {
        fw.Advance(s.t);
        EXPECT_EQ(fw.DuckDepth(), s.depth) << "t=" << s.t;
    }
    fw.SetSpeech(0, 1000);  // hold until 1050, then 2 ms per step back
    for (const auto& s : {Step{1049, 10}, Step{1050, 10}, Step{1054, 8}, Step{1067, 1}, Step{1069, 0}}) {
        fw.Advance(s.t);
        EXPECT_EQ(fw.DuckDepth(), s.depth) << "t=" << s.t;
    }
}

TEST(Ducking, ManualDuckingLowersLevelsWithoutTheActiveBit)
{
    Firmware fw(DuckingState());
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_MANDUCKING(2), 0)), R("C8 02"));
    EXPECT_FALSE(fw.DuckingActive());
    EXPECT_EQ(Poll(fw, 1), R("C4 14 00"));
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_MANDUCKING(0), 2)), R("C8 00"));
    EXPECT_EQ(fw.DuckDepth(), 10) << "levels come back on the next clock step, not inside the command";
    fw.Advance(3);
    EXPECT_EQ(fw.DuckDepth(), 0);
}

TEST(Ducking, ClockGoingBackwardsIsIgnored)
{
    DeviceState d = DuckingState();
    d.live.fadeOut = 10;
    Firmware fw(d);
    fw.SetSpeech(1, 1000);
    fw.Advance(1050);
    EXPECT_EQ(fw.DuckDepth(), 5);
    fw.Advance(0);
    EXPECT_EQ(fw.DuckDepth(), 5);
    fw.Advance(1060);
    EXPECT_EQ(fw.DuckDepth(), 6);
}

}  // namespace

namespace {

TEST(Ducking, GainChangeWhileDuckedIsReportedAgain)
{
    Firmware fw(DuckingState());
    fw.SetSpeech(1, 0);
    while (Poll(fw, 1) != kAck) {
    }
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_MIC(40, 0x11), 2)), R("C3 28 11"));
    std::vector<std::string> polls;
    for (std::string r = Poll(fw, 3); r != kAck; r = Poll(fw, 3)) {
        polls.push_back(r);
    }
    EXPECT_NE(std::find(polls.begin(), polls.end(), R("C5 32 11")), polls.end()) << "mic 2: new gain 40 + 10";
}

}  // namespace
