// The simulator on a real pseudo-terminal, seen from the panel's end.
#include "Commands.h"
#include "KestraSim.h"
#include "LineEnd.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

const LCmd kPoll = CM_MCS_POLLING(sub::kPoll);
const std::string kAck = R("01");

// The device hears only the speed it runs at: 9600, or 115200 in the boot
// loader, so a panel that changes speed at the wrong time fails here as on
// the real line. (The way back to the firmware, vanishing and coming back are
// driven by the update window and connection tests.)
TEST(Transport, SpeedsFollowTheBootLoaderAndAMismatchIsGarbage)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    ASSERT_TRUE(line.SetBaud(115200));
    line.Write(kPoll.MakeFrame(1));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "a device at 9600 cannot hear 115200";
    EXPECT_EQ(device.GarbledBytes(), 8u);
    ASSERT_TRUE(line.SetBaud(9600));
    line.Write(CM_MCS_IAP_RESET(sub::kIapReset).MakeFrame(1));
    EXPECT_EQ(ToHex(line.Read(8)), kAck);
    EXPECT_TRUE(device.WaitUntil([](const sim::SimDevice& d) { return d.InBootLoader(); }, 1s));
    line.Write(CM_MCS_START(1).MakeFrame(0));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "still at 9600: the boot loader hears garbage";
    ASSERT_TRUE(line.SetBaud(115200));
    line.Write(CM_MCS_START(1).MakeFrame(0));
    EXPECT_EQ(ToHex(line.Read(1)), "21");
}

TEST(Transport, WireSpeedTakesTenBitsPerByte)
{
    sim::SimOptions options;
    options.wireSpeed = true;
    sim::KestraSim device(options);
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    // 10 bytes out and 10 back at 9600 baud; observing late only adds time,
    // so these lower bounds hold on a slow machine too.
    const auto begin = std::chrono::steady_clock::now();
    line.Write(CM_MCS_INQUIRY(2, 0).MakeFrame(1));
    ASSERT_EQ(line.Read(1).size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 11ms) << "no reply byte before the request's 10 and itself";
    ASSERT_EQ(line.Read(9).size(), 9u);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 20ms) << "the reply's bytes are paced, not sent at once";
}

// On the line a late reply holds back the ones after it, which then follow in order.
TEST(Transport, LateReplyHoldsBackTheNextWhichFollowInOrder)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    device.SetChoices(*sim::Choices::Parse("late=2:300"));
    line.Write(Framed("AF 02 01"));
    EXPECT_EQ(ToHex(line.Read(10)), R("C2 00 01"));
    const auto begin = std::chrono::steady_clock::now();
    line.Write(Framed("AF 02 02"));
    line.Write(Framed("AF 02 03"));
    EXPECT_EQ(ToHex(line.Read(20)), R("C2 00 02") + " " + R("C2 00 03"));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 300ms);
    EXPECT_EQ(device.RepliesSent(), 3u);
}
