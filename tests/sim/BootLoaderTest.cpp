// The boot-loader conversation of a whole firmware update, as the panel's
// updater holds it, through the device model's input side.
#include "Commands.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>
#include <random>

using sim::SimDevice;

namespace {

constexpr int kImagePages = 111;

ByteVector Image(std::uint32_t seed)
{
    std::mt19937 rng(seed);
    ByteVector image(kImagePages * sim::kPageSize);
    for (auto& b : image) {
        b = static_cast<std::uint8_t>(rng());
    }
    return image;
}

// Sends one raw command and returns the reply bytes.
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

std::uint8_t Xor(const std::uint8_t* p, std::size_t n)
{
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= p[i];
    }
    return x;
}

// Runs the whole update on a device that is already in the boot loader.
void RunUpdate(SimDevice& d, const ByteVector& image)
{
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_START(0x05)), ByteVector{0xAA});
    for (int page = 0; page <= kImagePages; ++page) {
        ASSERT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, static_cast<std::uint8_t>(page))), ByteVector{0xAA}) << page;
    }
    ByteVector filler(sim::kPageSize, 0xFF);  // page 111: the image has no row for it
    for (int page = 0; page <= kImagePages; ++page) {
        ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, static_cast<std::uint8_t>(page))), ByteVector{0xAA}) << page;
        const std::uint8_t* data = page < kImagePages ? image.data() + page * sim::kPageSize : filler.data();
        ASSERT_EQ(Send(d, CM_MCS_PROGRAM_DATA(data, sim::kPageSize)), ByteVector{Xor(data, sim::kPageSize)}) << page;
    }
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_FINISH(0x06)), ByteVector{0xAA});
    ASSERT_EQ(Send(d, CM_MCS_MCU_RESET(0x04)), ByteVector{0x04});
}

TEST(BootLoader, WholeUpdateFromRegularFirmwareLeavesTheImageInFlash)
{
    SimDevice d;
    const ByteVector iap = CM_MCS_IAP_RESET(sub::kIapReset).MakeFrame(1);
    ASSERT_EQ(ToHex(iap), "10 02 01 01 08 10 03 09");
    const auto ack = d.Receive(iap.data(), iap.size(), 0);
    ASSERT_EQ(ack.size(), 1u);
    EXPECT_EQ(ToHex(ack[0].bytes), R("01"));
    EXPECT_EQ(ack[0].baud, sim::kFirmwareBaud) << "the acknowledgement still goes out at 9600";
    EXPECT_TRUE(d.InBootLoader());
    EXPECT_EQ(d.Baud(), sim::kBootLoaderBaud);

    const ByteVector image = Image(5);
    RunUpdate(d, image);
    EXPECT_FALSE(d.InBootLoader());
    EXPECT_EQ(d.Baud(), sim::kFirmwareBaud);
    for (int page = 0; page < kImagePages; ++page) {
        EXPECT_EQ(d.Loader().Page(page), ByteVector(image.begin() + page * 64, image.begin() + page * 64 + 64)) << page;
    }
    EXPECT_EQ(d.Loader().Page(kImagePages), ByteVector(64, 0xFF));
    EXPECT_EQ(d.Loader().Erases(), 112);
    EXPECT_EQ(d.Loader().Programs(), 112);
    // 1 frame + start + program start + 112 erases + 112 x (header, data) + finish + reset
    EXPECT_EQ(d.Received().size(), 1u + 2u + 112u + 224u + 2u);

    const ByteVector poll = CM_MCS_POLLING(sub::kPoll).MakeFrame(1);
    const auto back = d.Receive(poll.data(), poll.size(), 0);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(ToHex(back[0].bytes), R("01")) << "the regular firmware answers again after the reset";
}

TEST(BootLoader, DeviceStartedInTheBootLoaderServesAnInterruptedUpdate)
{
    SimDevice d({}, true);
    EXPECT_TRUE(d.InBootLoader());
    const ByteVector image = Image(9);
    RunUpdate(d, image);
    EXPECT_EQ(d.Loader().Page(0), ByteVector(image.begin(), image.begin() + 64));
}

TEST(BootLoader, ProgrammingWithoutEraseOnlyClearsBits)
{
    SimDevice d({}, true);
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    ByteVector first(64, 0x0F), second(64, 0xF3);
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, 3)), ByteVector{0xAA});
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM_DATA(first.data(), 64)), ByteVector{0x00});
    ASSERT_EQ(Send(d, CM_MCS_PROGRAM(0x01, 3)), ByteVector{0xAA});
    Send(d, CM_MCS_PROGRAM_DATA(second.data(), 64));
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0x03));
    ASSERT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 3)), ByteVector{0xAA});
    EXPECT_EQ(d.Loader().Page(3), ByteVector(64, 0xFF));
}

struct MalformedCase {
    const char* name;
    const char* bytes;
    const char* replies;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class BootLoaderMalformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(BootLoaderMalformed, AnswersE1AndStaysUsable)
{
    SimDevice d({}, true);
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    const ByteVector in = Hex(GetParam().bytes);
    ByteVector out;
    for (const auto& r : d.Receive(in.data(), in.size(), 0)) {
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    }
    EXPECT_EQ(ToHex(out), GetParam().replies);
    EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 0)), ByteVector{0xAA}) << "the next good command is served";
}

INSTANTIATE_TEST_SUITE_P(Commands, BootLoaderMalformed, testing::Values(
    MalformedCase{"unknown_first_byte", "07", "E1"},
    MalformedCase{"wrong_trailer", "05 55 AB", "E1"},
    MalformedCase{"erase_page_112", "02 70 55 AA", "E1"},
    MalformedCase{"header_page_255", "01 FF 55 AA", "E1"},
    MalformedCase{"two_unknown_bytes", "00 FF", "E1 E1"},
    MalformedCase{"trailer_swapped", "06 AA 55", "E1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootLoader, BeforeTheStartByteEverythingElseIsAnError)
{
    SimDevice d({}, true);
    EXPECT_EQ(Send(d, CM_MCS_PROGRAM_START(0x05)), (ByteVector{0xE1, 0xE1, 0xE1}));
    EXPECT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
}

TEST(BootLoader, LoneStartByteAfterAPauseRestartsTheConversation)
{
    SimDevice d({}, true);
    ASSERT_EQ(Send(d, CM_MCS_START(0x01)), ByteVector{0x21});
    EXPECT_TRUE(Send(d, CM_MCS_START(0x01)).empty()) << "may still be a header";
    EXPECT_TRUE(d.PartialInput());
    const auto idle = d.Idle(0);
    ASSERT_EQ(idle.size(), 1u);
    EXPECT_EQ(idle[0].bytes, ByteVector{0x21});
    EXPECT_FALSE(d.PartialInput());
}

TEST(BootLoader, DataBlockCutShortNeverReachesFlash)
{
    SimDevice d({}, true);
    Send(d, CM_MCS_START(0x01));
    Send(d, CM_MCS_PROGRAM(0x01, 7));
    const ByteVector part(40, 0x00);
    EXPECT_TRUE(d.Receive(part.data(), part.size(), 0).empty());
    EXPECT_TRUE(d.Idle(0).empty());
    EXPECT_EQ(d.Loader().Page(7), ByteVector(64, 0xFF));
    EXPECT_EQ(Send(d, CM_MCS_PAGE_EREASE(0x02, 7)), ByteVector{0xAA});
}

}  // namespace
