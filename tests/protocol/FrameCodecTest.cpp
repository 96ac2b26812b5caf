// Commands as they go on the line, and any buffer read back into fields.
#include "Commands.h"
#include "Hex.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// A command with any fields, for the framing rules no real command shows.
class Cmd : public LCmd {
public:
    Cmd(std::uint8_t c, std::uint8_t s, ByteVector p) : LCmd(c, s) { payload_ = std::move(p); }
};

TEST(Frame, EveryCommandBuildsItsBytes)
{
    // Framed commands in mode 1, boot-loader ones (command 0) raw.
    const struct { LCmd cmd; const char* bytes; } cases[] = {
        {CM_MCS_LINE(0x01), "10 02 01 02 A1 01 10 03 A2"},
        {CM_MCS_STEREO(25, 0x02), "10 02 01 03 A2 19 02 10 03 BA"},
        {CM_MCS_MIC(10, 0x10), "10 02 01 03 A3 0A 10 10 03 BA"},
        {CM_MCS_POLLING(0x05), "10 02 01 01 05 10 03 04"}, {CM_MCS_IAP_RESET(0x08), "10 02 01 01 08 10 03 09"},
        {CM_MCS_DUCKING(1, 0x12), "10 02 01 03 A9 01 12 10 03 B9"},
        {CM_MCS_GANGED(1, 2), "10 02 01 03 AA 01 02 10 03 AA"},
        {CM_MCS_SAVELOAD(3, 0), "10 02 01 03 AB 03 00 10 03 AB"},
        {CM_MCS_MUTE(1, 0x00), "10 02 01 03 AE 01 00 10 03 AC"},
        {CM_MCS_INQUIRY(0x04), "10 02 01 02 AF 04 10 03 A9"},
        {CM_MCS_INQUIRY(0x01, 0x00), "10 02 01 03 AF 01 00 10 03 AD"},
        {CM_MCS_DK_MIC_THD(0x2B), "10 02 01 02 B2 2B 10 03 9B"},
        {CM_MCS_DK_ST_RED(79), "10 02 01 02 B3 4F 10 03 FE"},
        {CM_MCS_SWITCH(0), "10 02 01 02 B7 00 10 03 B5"}, {CM_MCS_RESET(0), "10 02 01 02 B8 00 10 03 BA"},
        {CM_MCS_INQUIRY_DX(0x02, 0x15), "10 02 01 03 BF 02 15 10 03 AB"},
        {CM_MCS_START(0x01), "01"}, {CM_MCS_PROGRAM_START(0x05), "05 55 AA"},
        {CM_MCS_PAGE_EREASE(0x02, 0x6F), "02 6F 55 AA"}, {CM_MCS_PROGRAM(0x01, 0x00), "01 00 55 AA"},
        {CM_MCS_PROGRAM_FINISH(0x06), "06 55 AA"}, {CM_MCS_MCU_RESET(0x04), "04 55 AA"},
        // Markers inside the payload go unescaped; the length byte counts the sub byte.
        {CM_MCS_MIC(0x10, 0x03), "10 02 01 03 A3 10 03 10 03 B3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const bool framed = c.cmd.Command() != 0;
        EXPECT_EQ(ToHex(c.cmd.MakeFrame(framed ? 1 : 0)), c.bytes);
        EXPECT_EQ(ToHex(c.cmd.MakeFrame(0)), ToHex(c.cmd.Payload())) << "raw mode is the payload alone";
        EXPECT_TRUE(c.cmd.MakeFrame(2).empty());
        if (framed) {
            EXPECT_EQ(LCmd(c.cmd.MakeFrame(1)), c.cmd) << "parses back to itself";
        }
    }
}

TEST(Frame, LongestPayloadHasLength255AndItsChecksum)
{
    const ByteVector f = Cmd(0x01, 0x42, ByteVector(254, 0x10)).MakeFrame(1);
    ASSERT_EQ(f.size(), 262u);
    EXPECT_EQ(f[3], 255);
    EXPECT_EQ(f.back(), std::accumulate(f.begin(), f.end() - 1, std::uint8_t{0}, std::bit_xor<>()));
}

// Parsing never fails and never reads past the buffer; the checksum is not checked.
TEST(Frame, AnyBufferParsesIntoFields)
{
    const struct { const char* buffer; std::uint8_t command, sub; const char* payload; } cases[] = {
        {"10 02 01 03 AF 01 00 10 03 00", 0x01, 0xAF, "01 00"},  // wrong checksum
        {"01", 0x00, 0x01, ""}, {"", 0x00, 0x00, ""}, {"10 02 01 05 C3", 0x00, 0x10, ""},
        {"10 02 01 00 10 03 13", 0x01, 0x10, ""},  // length 0 takes the closing DLE as sub
        {"10 02 01 03 C3 21 12 10 04 00", 0x00, 0x10, "21 12"},  // damaged trailer: raw
        // Length bytes beyond the buffer: what is there.
        {"10 02 01 FF C3 21 10 03 00", 0x01, 0xC3, "21 10 03 00"}, {"55 00 00 FF 00 AB CD", 0x00, 0x55, "AB CD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.buffer);
        const LCmd cmd(Hex(c.buffer));
        EXPECT_EQ(cmd.Command(), c.command);
        EXPECT_EQ(cmd.Sub(), c.sub);
        EXPECT_EQ(ToHex(cmd.Payload()), c.payload);
    }
}

}  // namespace
