#include "Hex.h"
#include "Lcmd.h"

#include <gtest/gtest.h>

namespace {

class Cmd : public LCmd {
public:
    Cmd(std::uint8_t c, std::uint8_t s, ByteVector p) : LCmd(c, s) { payload_ = std::move(p); }
};

struct BuildCase {
    const char* name;
    std::uint8_t command;
    std::uint8_t subByte;
    const char* payload;
    const char* framed;
};

class FrameBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(FrameBuild, BuildsExactBytesAndRawPayload)
{
    const auto& c = GetParam();
    Cmd cmd(c.command, c.subByte, Hex(c.payload));
    EXPECT_EQ(ToHex(cmd.MakeFrame(1)), c.framed);
    EXPECT_EQ(cmd.MakeFrame(0), Hex(c.payload)) << "raw mode is the payload alone";
    EXPECT_TRUE(cmd.MakeFrame(2).empty());
    EXPECT_TRUE(cmd.MakeFrame(255).empty());
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, FrameBuild,
    testing::Values(
        BuildCase{"poll", 0x01, 0x05, "", "10 02 01 01 05 10 03 04"},
        BuildCase{"inquiry", 0x01, 0xAF, "01 00", "10 02 01 03 AF 01 00 10 03 AD"},
        BuildCase{"inquiry_dx", 0x01, 0xBF, "03", "10 02 01 02 BF 03 10 03 BE"},
        BuildCase{"payload_with_markers_unescaped", 0x01, 0xA3, "10 03", "10 02 01 03 A3 10 03 10 03 B3"},
        BuildCase{"empty_payload_other_command", 0x07, 0x33, "", "10 02 07 01 33 10 03 34"},
        BuildCase{"payload_02_03_10_kept", 0x01, 0xA3, "02 03 10", "10 02 01 04 A3 02 03 10 10 03 B6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameBuild, LongestPayloadHasLength255AndFrame262)
{
    Cmd cmd(0x01, 0x42, ByteVector(254, 0x10));
    const ByteVector f = cmd.MakeFrame(1);
    ASSERT_EQ(f.size(), 262u);
    EXPECT_EQ(f[3], 255);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < f.size(); ++i) {
        sum ^= f[i];
    }
    EXPECT_EQ(f.back(), sum);
}

struct ParseCase {
    const char* name;
    const char* buffer;
    std::uint8_t command;
    std::uint8_t subByte;
    const char* payload;
};

class FrameParse : public testing::TestWithParam<ParseCase> {};

TEST_P(FrameParse, YieldsFields)
{
    const auto& c = GetParam();
    const LCmd cmd(Hex(c.buffer));
    EXPECT_EQ(cmd.Command(), c.command);
    EXPECT_EQ(cmd.Sub(), c.subByte);
    EXPECT_EQ(ToHex(cmd.Payload()), ToHex(Hex(c.payload)));
}

INSTANTIATE_TEST_SUITE_P(Buffers, FrameParse,
    testing::Values(
        ParseCase{"inquiry", "10 02 01 03 AF 01 00 10 03 AD", 0x01, 0xAF, "01 00"},
        ParseCase{"wrong_checksum_accepted", "10 02 01 03 AF 01 00 10 03 00", 0x01, 0xAF, "01 00"},
        ParseCase{"raw_ack", "01", 0x00, 0x01, ""},
        ParseCase{"raw_nak", "02", 0x00, 0x02, ""},
        ParseCase{"raw_boot_reply", "AA", 0x00, 0xAA, ""},
        ParseCase{"length_zero_takes_closing_dle", "10 02 01 00 10 03 13", 0x01, 0x10, ""},
        ParseCase{"length_one_no_payload", "10 02 01 01 01 10 03 13", 0x01, 0x01, ""},
        ParseCase{"damaged_trailer_is_raw", "10 02 01 03 C3 21 12 10 04 00", 0x00, 0x10, "21 12"},
        ParseCase{"payload_holding_markers", "10 02 01 03 A3 10 03 10 03 B3", 0x01, 0xA3, "10 03"},
        ParseCase{"empty_buffer", "", 0x00, 0x00, ""},
        ParseCase{"short_raw_no_payload", "10 02 01 05 C3", 0x00, 0x10, ""},
        // Length bytes that promise more than the buffer holds: take what is there.
        ParseCase{"framed_length_overrun", "10 02 01 FF C3 21 10 03 00", 0x01, 0xC3, "21 10 03 00"},
        ParseCase{"raw_length_overrun", "55 00 00 FF 00 AB CD", 0x00, 0x55, "AB CD"},
        ParseCase{"raw_six_bytes", "55 00 00 09 00 77", 0x00, 0x55, "77"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
