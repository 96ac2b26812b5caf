// The simulator on a real pseudo-terminal, seen from the panel's end.
#include "Commands.h"
#include "KestraSim.h"
#include "LineEnd.h"
#include "SimTestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;

namespace {

const LCmd kPoll = CM_MCS_POLLING(sub::kPoll);
const std::string kAck = R("01");

TEST(Transport, AnswersFramesAndRecordsThem)
{
    sim::KestraSim device;
    const std::string path = device.Start();
    ASSERT_FALSE(path.empty());
    LineEnd line;
    ASSERT_TRUE(line.Open(path));
    EXPECT_EQ(device.LineBaud(), 9600);
    EXPECT_EQ(ToHex(line.Exchange(CM_MCS_LINE(2))), R("C1 02"));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
    ASSERT_TRUE(device.WaitForReceived(2, 2s));
    const auto got = device.Received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], CM_MCS_LINE(2).MakeFrame(1));
    EXPECT_EQ(got[1], kPoll.MakeFrame(1));
    EXPECT_EQ(device.State().live.lineSource, 2);
    device.ClearReceived();
    EXPECT_EQ(device.ReceivedCount(), 0u);
}

TEST(Transport, SpeedMismatchIsGarbageToTheDevice)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start(), 115200));
    EXPECT_EQ(device.LineBaud(), 115200);
    line.Write(kPoll.MakeFrame(1));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "a device at 9600 cannot hear 115200";
    EXPECT_EQ(device.GarbledBytes(), 8u);
    EXPECT_EQ(device.ReceivedCount(), 0u);
    ASSERT_TRUE(line.SetBaud(9600));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
}

TEST(Transport, FirmwareUpdateSwitchesSpeedsAndFillsFlash)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    EXPECT_EQ(ToHex(line.Exchange(CM_MCS_IAP_RESET(sub::kIapReset))), kAck);
    EXPECT_TRUE(device.WaitUntil([](const sim::SimDevice& d) { return d.InBootLoader(); }, 1s));
    EXPECT_EQ(device.DeviceBaud(), 115200);

    line.Write(CM_MCS_START(1).MakeFrame(0));
    EXPECT_TRUE(line.Read(1, 200ms).empty()) << "still at 9600: the boot loader hears garbage";
    ASSERT_TRUE(line.SetBaud(115200));
    line.Write(CM_MCS_START(1).MakeFrame(0));
    EXPECT_EQ(line.Read(1), ByteVector{0x21});

    auto step = [&line](const LCmd& cmd) {
        line.Write(cmd.MakeFrame(0));
        return line.Read(1);
    };
    EXPECT_EQ(step(CM_MCS_PROGRAM_START(5)), ByteVector{0xAA});
    ByteVector page(64);
    for (int i = 0; i < 64; ++i) {
        page[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    EXPECT_EQ(step(CM_MCS_PAGE_EREASE(2, 9)), ByteVector{0xAA});
    EXPECT_EQ(step(CM_MCS_PROGRAM(1, 9)), ByteVector{0xAA});
    std::uint8_t x = 0;
    for (auto b : page) {
        x ^= b;
    }
    EXPECT_EQ(step(CM_MCS_PROGRAM_DATA(page.data(), page.size())), ByteVector{x});
    EXPECT_EQ(step(CM_MCS_PROGRAM_FINISH(6)), ByteVector{0xAA});
    EXPECT_EQ(step(CM_MCS_MCU_RESET(4)), ByteVector{0x04});
    EXPECT_FALSE(device.InBootLoader());
    const auto flash = device.FlashContents();
    EXPECT_EQ(ByteVector(flash.begin() + 9 * 64, flash.begin() + 10 * 64), page);

    ASSERT_TRUE(line.SetBaud(9600));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
}

struct FaultCase {
    const char* name;
    Fault fault;
    std::size_t expectBytes;  // what the panel's end collects
    std::string expect;       // hex, or "" for silence; noise is checked by its tail
    bool applied;             // the command took effect
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class TransportFault : public testing::TestWithParam<FaultCase> {};

TEST_P(TransportFault, AffectsOneReplyThenServesNormally)
{
    const auto& c = GetParam();
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    device.SetFault(c.fault);
    line.Write(CM_MCS_LINE(4).MakeFrame(1));
    const ByteVector got = line.Read(c.expectBytes + 1, 300ms);
    if (c.fault.kind == FaultKind::Noise) {
        ASSERT_EQ(got.size(), c.expectBytes);
        EXPECT_EQ(ToHex(ByteVector(got.end() - 9, got.end())), c.expect);
        for (std::size_t i = 0; i + 9 < got.size(); ++i) {
            EXPECT_NE(got[i], 0x10) << "noise must not contain a frame start";
        }
    } else {
        EXPECT_EQ(ToHex(got), c.expect);
    }
    EXPECT_EQ(device.State().live.lineSource == 4, c.applied);
    ASSERT_TRUE(device.WaitForReceived(1, 1s));
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck) << "the fault was for one reply only";
}

INSTANTIATE_TEST_SUITE_P(Faults, TransportFault, testing::Values(
    FaultCase{"silence", {FaultKind::Silence, 0, 1}, 0, "", true},
    FaultCase{"noise", {FaultKind::Noise, 6, 1}, 15, R("C1 04"), true},
    FaultCase{"truncate", {FaultKind::Truncate, 4, 1}, 4, "10 02 01 02", true},
    FaultCase{"nak", {FaultKind::Nak, 0, 1}, 8, R("02"), false},
    FaultCase{"busy", {FaultKind::Busy, 0, 1}, 8, R("E0"), false},
    FaultCase{"error9", {FaultKind::Error, 9, 1}, 9, R("E1 09"), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Transport, FaultWithoutCountLastsUntilCleared)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    device.SetFault({FaultKind::Busy, 0, -1});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ToHex(line.Exchange(kPoll)), R("E0")) << i;
    }
    device.SetFault({});
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), kAck);
}

TEST(Transport, VanishHangsUpAndReappearFollowsTheLink)
{
    const std::string link = (std::filesystem::temp_directory_path() / ("kestra-sim-link-" + std::to_string(::getpid()))).string();
    sim::SimOptions options;
    options.linkPath = link;
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
    LineEnd again;
    ASSERT_TRUE(again.Open(link));
    EXPECT_EQ(ToHex(again.Exchange(kPoll)), kAck);
    device.Stop();
    EXPECT_FALSE(std::filesystem::exists(link)) << "the link goes with the simulator";
}

TEST(Transport, WireSpeedTakesTenBitsPerByte)
{
    sim::SimOptions options;
    options.wireSpeed = true;
    sim::KestraSim device(options);
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    // 10 bytes out and 10 back at 9600 baud: at least 20 x 1.04 ms on the wire.
    const auto begin = std::chrono::steady_clock::now();
    line.Write(CM_MCS_INQUIRY(2, 0).MakeFrame(1));
    const ByteVector first = line.Read(1);
    const auto firstAt = std::chrono::steady_clock::now();
    const ByteVector rest = line.Read(9);
    const auto end = std::chrono::steady_clock::now();
    ASSERT_EQ(first.size() + rest.size(), 10u);
    EXPECT_GE(firstAt - begin, 11ms) << "the reply's first byte cannot arrive before the request's 10 bytes and itself";
    // Observing late only adds time, so these lower bounds hold on a slow machine too.
    EXPECT_GE(end - begin, 20ms) << "the reply's bytes are paced, not sent at once";
}

TEST(Transport, SpeechMakesPollsReportDucking)
{
    sim::KestraSim device;
    LineEnd line;
    ASSERT_TRUE(line.Open(device.Start()));
    sim::DeviceState state;
    state.live.fadeOut = 0;
    device.SetState(state);
    device.SetSpeech(0b000100);
    EXPECT_TRUE(device.DuckingActive());
    EXPECT_EQ(ToHex(line.Exchange(kPoll)), R("C8 01"));
    const LCmd level(line.Exchange(kPoll));
    EXPECT_EQ(level.Sub(), 0xC4);
    ASSERT_EQ(level.Payload().size(), 2u);
    EXPECT_EQ(level.Payload()[0], state.live.stereoGain[0] + state.live.attenuation);
}

}  // namespace
