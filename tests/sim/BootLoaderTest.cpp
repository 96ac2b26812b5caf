// The boot-loader conversation of a firmware update, as the panel's updater
// holds it, through the device model's input side.
#include "Commands.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>

using sim::SimDevice;

namespace {

constexpr int kImagePages = 111;

// Sends one raw command; every reply goes out at the boot loader's speed.
ByteVector Send(SimDevice& d, const LCmd& cmd)
{
    const ByteVector raw = cmd.MakeFrame(frame::kModeRaw);
    ByteVector out;
    for (const auto& r : d.Receive(raw.data(), raw.size(), 0)) {
        EXPECT_EQ(r.baud, sim::kBootLoaderBaud);
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    }
    return out;
}

const ByteVector kOk{0xAA};

TEST(BootLoader, WholeUpdateFromRegularFirmwareLeavesTheImageInFlash)
{
    SimDevice d;
    const ByteVector iap = CM_MCS_IAP_RESET(sub::kIapReset).MakeFrame(1);
    const auto ack = d.Receive(iap.data(), iap.size(), 0);
    ASSERT_EQ(ack.size(), 1u);
    EXPECT_EQ(ToHex(ack[0].bytes), R("01"));
    EXPECT_EQ(ack[0].baud, sim::kFirmwareBaud) << "the acknowledgement still goes out at 9600";
    EXPECT_EQ(d.Baud(), sim::kBootLoaderBaud);

    std::mt19937 rng(5);
    ByteVector image((kImagePages + 1) * sim::kPageSize, 0xFF);  // the last page is the filler the updater sends
    std::generate(image.begin(), image.end() - sim::kPageSize, [&] { return static_cast<std::uint8_t>(rng()); });
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_START(0x05)), kOk);
    for (int page = 0; page <= kImagePages; ++page) {
        ASSERT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, static_cast<std::uint8_t>(page))), kOk) << page;
    }
    for (int page = 0; page <= kImagePages; ++page) {
        const ByteVector data(image.begin() + page * sim::kPageSize, image.begin() + (page + 1) * sim::kPageSize);
        std::uint8_t x = 0;
        for (auto b : data) {
            x ^= b;
        }
        ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, static_cast<std::uint8_t>(page))), kOk) << page;
        ASSERT_EQ(Send(d, CM_MCS_PROGRAM_DATA(data.data(), data.size())), ByteVector{x}) << page;
        EXPECT_EQ(d.Loader().Page(page), data) << page;
    }
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_FINISH(0x06)), kOk);
    ASSERT_EQ(Send(d, CM_MCS_MCU_RESET(0x04)), ByteVector{0x04});
    EXPECT_FALSE(d.InBootLoader());
    EXPECT_EQ(d.Baud(), sim::kFirmwareBaud);
    EXPECT_EQ(d.Loader().Erases(), 112);
    EXPECT_EQ(d.Loader().Programs(), 112);
    EXPECT_EQ(d.Received().size(), 1u + 2u + 112u + 224u + 2u);  // frame, 2 starts, erases, header+data, finish, reset

    const ByteVector poll = CM_MCS_POLLING(sub::kPoll).MakeFrame(1);
    const auto back = d.Receive(poll.data(), poll.size(), 0);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(ToHex(back[0].bytes), R("01")) << "the regular firmware answers again after the reset";
}

TEST(BootLoader, ProgrammingWithoutEraseOnlyClearsBits)
{
    SimDevice d({}, true);
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    const ByteVector first(64, 0x0F), second(64, 0xF3);
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, 3)), kOk);
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_DATA(first.data(), 64)), ByteVector{0x00});
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, 3)), kOk);
    Send(d, CM_MCS_PROGRAM_DATA(second.data(), 64));
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0x03));
    ASSERT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 3)), kOk);
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0xFF));
}

TEST(BootLoader, MalformedCommandsAnswerE1AndTheNextGoodOneIsServed)
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
        SimDevice d({}, true);
        ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
        const ByteVector in = Hex(bytes);
        ByteVector out;
        for (const auto& r : d.Receive(in.data(), in.size(), 0)) {
            out.insert(out.end(), r.bytes.begin(), r.bytes.end());
        }
        EXPECT_EQ(ToHex(out), replies) << bytes;
        EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 0)), kOk) << bytes;
    }
    SimDevice d({}, true);
    EXPECT_EQ(Send(d, CM_MCS_PROGRAM_START(0x05)), Hex("E1 E1 E1")) << "before the start byte all is an error";
}

TEST(BootLoader, APauseEndsWhatWasHalfReceived)
{
    SimDevice d({}, true);
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    // A lone start byte may still be a header: only the pause makes it a restart.
    EXPECT_TRUE(Send(d, CM_MCS_START(0x01)).empty());
    EXPECT_TRUE(d.PartialInput());
    const auto idle = d.Idle(0);
    ASSERT_EQ(idle.size(), 1u);
    EXPECT_EQ(idle[0].bytes, ByteVector{0x21});
    EXPECT_FALSE(d.PartialInput());
    // A data block cut short never reaches the flash.
    Send(d, CM_MCS_PROGRAM(0x01, 7));
    const ByteVector part(40, 0x00);
    EXPECT_TRUE(d.Receive(part.data(), part.size(), 0).empty());
    EXPECT_TRUE(d.Idle(0).empty());
    EXPECT_EQ(d.Loader().Page(7), ByteVector(64, 0xFF));
    EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 7)), kOk);
}

}  // namespace
