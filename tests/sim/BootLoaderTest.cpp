// The boot-loader conversation of a firmware update, as the panel's updater
// holds it, through the device model's input side. Whole updates land in its
// flash in the update tests; its refusals and its memory's rules are here.
#include "Commands.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

using sim::SimDevice;

namespace {

// Sends raw bytes; every reply goes out at the boot loader's speed.
ByteVector Send(SimDevice& d, const ByteVector& in)
{
    ByteVector out;
    for (const auto& r : d.Receive(in.data(), in.size(), 0)) {
        EXPECT_EQ(r.baud, sim::kBootLoaderBaud);
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    }
    return out;
}

ByteVector Send(SimDevice& d, const LCmd& cmd) { return Send(d, cmd.MakeFrame(frame::kModeRaw)); }

const ByteVector kOk{0xAA};

// A boot loader that has answered the start byte.
class BootLoader : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21}); }
    SimDevice d{{}, true};
};

TEST_F(BootLoader, ProgrammingWithoutEraseOnlyClearsBits)
{
    const ByteVector first(64, 0x0F), second(64, 0xF3);
    for (const ByteVector& data : {first, second}) {
        ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, 3)), kOk);
        Send(d, CM_MCS_PROGRAM_DATA(data.data(), 64));
    }
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0x03));
    ASSERT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 3)), kOk);
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0xFF));
}

TEST_F(BootLoader, MalformedCommandsAnswerE1AndTheNextGoodOneIsServed)
{
    const std::pair<const char*, const char*> cases[] = {
        {"07", "E1"},           // unknown first byte
        {"05 55 AB", "E1"},     // wrong trailer
        {"06 AA 55", "E1"},     // trailer swapped
        {"02 70 55 AA", "E1"},  // erase page 112
        {"01 FF 55 AA", "E1"},  // header for page 255
        {"00 FF", "E1 E1"},
    };
    for (const auto& [bytes, replies] : cases) {
        EXPECT_EQ(ToHex(Send(d, Hex(bytes))), replies) << bytes;
        EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 0)), kOk) << bytes;
    }
    SimDevice fresh({}, true);
    EXPECT_EQ(Send(fresh, CM_MCS_PROGRAM_START(0x05)), Hex("E1 E1 E1")) << "before the start byte all is an error";
}

TEST_F(BootLoader, APauseEndsWhatWasHalfReceived)
{
    // A lone start byte may still be a header: only the pause makes it a restart.
    EXPECT_TRUE(Send(d, CM_MCS_START(0x01)).empty());
    EXPECT_TRUE(d.PartialInput());
    const auto idle = d.Idle(0);
    ASSERT_EQ(idle.size(), 1u);
    EXPECT_EQ(idle[0].bytes, ByteVector{0x21});
    EXPECT_FALSE(d.PartialInput());
    // A data block cut short never reaches the flash.
    Send(d, CM_MCS_PROGRAM(0x01, 7));
    EXPECT_TRUE(Send(d, ByteVector(40, 0x00)).empty());
    EXPECT_TRUE(d.Idle(0).empty());
    EXPECT_EQ(d.Loader().Page(7), ByteVector(64, 0xFF));
    EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 7)), kOk);
}

}  // namespace
