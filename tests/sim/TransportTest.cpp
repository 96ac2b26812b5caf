// The simulator on a real pseudo-terminal, seen from the panel's end.
#include "Commands.h"
#include "KestraSim.h"
#include "LineEnd.h"
#include "SimTestUtil.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using sim::FaultKind;

namespace {

const LCmd kPoll = CM_MCS_POLLING(sub::kPoll);
const std::string kAck = R("01");

class Transport : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.Open(device.Start())); }
    sim::KestraSim device;
    LineEnd line;
};

TEST_F(Transport, AnswersFramesAndRecordsThem)
{
    EXPECT_EQ(device.LineBaud(), 9600);
    EXPECT_EQ(ToHex(line.Exchange(CM_MCS_LINE(2))), R("C1 02"));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
    ASSERT_TRUE(device.WaitForReceived(2, 2s));
    EXPECT_EQ(device.Received(), (std::vector<ByteVector>{CM_MCS_LINE(2).MakeFrame(1), kPoll.MakeFrame(1)}));
    EXPECT_EQ(device.State().live.lineSource, 2);
    device.ClearReceived();
    EXPECT_EQ(device.ReceivedCount(), 0u);
}

// The device hears only the speed it runs at: 9600, or 115200 in the boot loader.
TEST_F(Transport, SpeedsFollowTheBootLoaderAndAMismatchIsGarbage)
{
    ASSERT_TRUE(line.SetBaud(115200));
    line.Write(kPoll.MakeFrame(1));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "a device at 9600 cannot hear 115200";
    EXPECT_EQ(device.GarbledBytes(), 8u);
    EXPECT_EQ(device.ReceivedCount(), 0u);
    ASSERT_TRUE(line.SetBaud(9600));
    EXPECT_EQ(ToHex(line.Exchange(CM_MCS_IAP_RESET(sub::kIapReset))), kAck);
    EXPECT_TRUE(device.WaitUntil([](const sim::SimDevice& d) { return d.InBootLoader(); }, 1s));
    EXPECT_EQ(device.DeviceBaud(), 115200);

    line.Write(CM_MCS_START(1).MakeFrame(0));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "still at 9600: the boot loader hears garbage";
    ASSERT_TRUE(line.SetBaud(115200));
    const ByteVector page(64, 0x5A);
    const std::pair<LCmd, const char*> steps[] = {
        {CM_MCS_START(1), "21"}, {CM_MCS_PROGRAM_START(5), "AA"}, {CM_MCS_PAGE_EREASE(2, 9), "AA"},
        {CM_MCS_PROGRAM(1, 9), "AA"}, {CM_MCS_PROGRAM_DATA(page.data(), page.size()), "00"},  // XOR of the page
        {CM_MCS_PROGRAM_FINISH(6), "AA"}, {CM_MCS_MCU_RESET(4), "04"},
    };
    for (const auto& [cmd, reply] : steps) {
        line.Write(cmd.MakeFrame(0));
        EXPECT_EQ(ToHex(line.Read(1)), reply);
    }
    EXPECT_FALSE(device.InBootLoader());
    const auto flash = device.FlashContents();
    EXPECT_EQ(ByteVector(flash.begin() + 9 * 64, flash.begin() + 10 * 64), page);
    ASSERT_TRUE(line.SetBaud(9600));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck) << "the boot-loader request was taken once, not kept";
    }
}

TEST_F(Transport, FaultsAffectTheirRepliesThenServiceResumes)
{
    struct Case {
        sim::Fault fault;
        std::size_t bytes;       // what the panel's end collects
        std::string expect;      // hex, "" for silence; noise is checked by its tail
        bool applied;            // the command took effect
    };
    const Case cases[] = {
        {{FaultKind::Silence, 0, 1}, 0, "", true},
        {{FaultKind::Noise, 6, 1}, 15, R("C1 04"), true},
        {{FaultKind::Truncate, 4, 1}, 4, "10 02 01 02", true},
        {{FaultKind::Nak, 0, 1}, 8, R("02"), false},
        {{FaultKind::Busy, 0, 1}, 8, R("E0"), false},
        {{FaultKind::Error, 9, 1}, 9, R("E1 09"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault.kind));
        device.SetState({});
        device.SetFault(c.fault);
        line.Write(CM_MCS_LINE(4).MakeFrame(1));
        ByteVector got = line.Read(c.bytes + 1, 300ms);
        if (c.fault.kind == FaultKind::Noise) {
            ASSERT_EQ(got.size(), c.bytes);
            EXPECT_EQ(std::count(got.begin(), got.end() - 9, 0x10), 0) << "noise must not contain a frame start";
            got.erase(got.begin(), got.end() - 9);
        }
        EXPECT_EQ(ToHex(got), c.expect);
        EXPECT_EQ(device.State().live.lineSource == 4, c.applied);
        EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck) << "the fault was for one reply only";
    }
    device.SetFault({FaultKind::Busy, 0, -1});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ToHex(line.Exchange(kPoll)), R("E0")) << "a fault without a count lasts";
    }
    device.SetFault({});
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
}

TEST_F(Transport, SpeechMakesPollsReportDucking)
{
    sim::DeviceState state;
    state.live.fadeOut = 0;
    device.SetState(state);
    device.SetSpeech(0b000100);
    EXPECT_TRUE(device.DuckingActive());
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), R("C8 01"));
    const int ducked = state.live.stereoGain[0] + state.live.attenuation;
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), R("C4 " + ToHex({static_cast<std::uint8_t>(ducked)}) + " 00"));
}

TEST(TransportLink, VanishHangsUpAndReappearFollowsTheLink)
{
    sim::SimOptions options;
    options.linkPath = (std::filesystem::temp_directory_path() / ("kestra-sim-link-" + std::to_string(::getpid())));
    const std::string link = options.linkPath;
    sim::KestraSim device(options);
    ASSERT_EQ(device.Start(), link);
    LineEnd line;
    ASSERT_TRUE(line.Open(link));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
    device.Vanish();
    EXPECT_TRUE(device.Vanished());
    EXPECT_TRUE(line.Read(1, 500ms).empty());
    EXPECT_TRUE(line.HungUp()) << "the panel's port sees the line go away";
    EXPECT_FALSE(std::filesystem::exists(link));

    EXPECT_EQ(device.Reappear(), link);
    EXPECT_FALSE(device.Vanished());
    ASSERT_TRUE(line.Open(link));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
    device.Stop();
    EXPECT_FALSE(std::filesystem::exists(link)) << "the link goes with the simulator";
}

TEST(TransportLink, WireSpeedTakesTenBitsPerByte)
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

}  // namespace
