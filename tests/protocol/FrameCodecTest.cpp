// Commands as they go on the line and read in the log, and any buffer read
// back into fields.
#include "Commands.h"
#include "FrameText.h"
#include "Hex.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// A command with any fields, for the framing rules no real command shows.
class Cmd : public LCmd {
public:
    Cmd(std::uint8_t c, std::uint8_t s, ByteVector p) : LCmd(c, s) { payload_ = std::move(p); }
};

// Each command's bytes on the line and its words in the traffic log, where
// a command reads as the report that confirms it.
TEST(Frame, EveryCommandBuildsItsBytesAndReadsAsItsWords)
{
    // Framed commands in mode 1, boot-loader ones (command 0) raw and never logged.
    const struct { LCmd cmd; const char* bytes; const char* text = nullptr; } cases[] = {
        {CM_MCS_LINE(0x01), "10 02 01 02 A1 01 10 03 A2", "line source Tuner"},
        {CM_MCS_STEREO(25, 0x02), "10 02 01 03 A2 19 02 10 03 BA", "Sub right gain -12.5dB"},
        {CM_MCS_MIC(10, 0x10), "10 02 01 03 A3 0A 10 10 03 BA", "MIC 1 gain -5dB"},
        {CM_MCS_POLLING(0x05), "10 02 01 01 05 10 03 04", "poll"},
        {CM_MCS_IAP_RESET(0x08), "10 02 01 01 08 10 03 09", "start boot loader"},
        {CM_MCS_MANDUCKING(2), "10 02 01 02 A8 02 10 03 A8", "manual ducking on"},
        {CM_MCS_DUCKING(1, 0x12), "10 02 01 03 A9 01 12 10 03 B9", "priority MIC 3 on"},
        {CM_MCS_GANGED(1, 2), "10 02 01 03 AA 01 02 10 03 AA", "ganged Master on"},
        {CM_MCS_SAVELOAD(3, 0), "10 02 01 03 AB 03 00 10 03 AB", "load preset 3"},
        {CM_MCS_SAVELOAD(0, 0), "10 02 01 03 AB 00 00 10 03 A8", "load factory set"},
        {CM_MCS_MUTE(1, 0x00), "10 02 01 03 AE 01 00 10 03 AC", "mute Line on"},
        {CM_MCS_INQUIRY(0x04), "10 02 01 02 AF 04 10 03 A9", "ask ducking state"},
        {CM_MCS_INQUIRY(0x01, 0x00), "10 02 01 03 AF 01 00 10 03 AD", "ask line source"},
        {CM_MCS_INQUIRY(0x03, 0x12), "10 02 01 03 AF 03 12 10 03 BD", "ask MIC 3 gain"},
        {CM_MCS_DK_MIC_THD(0x2B), "10 02 01 02 B2 2B 10 03 9B", "ducking threshold 43"},
        {CM_MCS_DK_ST_RED(79), "10 02 01 02 B3 4F 10 03 FE", "ducking attenuation 79"},
        {CM_MCS_SWITCH(0), "10 02 01 02 B7 00 10 03 B5", "switch-on as switched off"},
        {CM_MCS_RESET(0), "10 02 01 02 B8 00 10 03 BA", "reset presets to factory set"},
        {CM_MCS_INQUIRY_DX(0x02, 0x15), "10 02 01 03 BF 02 15 10 03 AB", "inquiry DX 02"},
        {CM_MCS_INQUIRY_DX(0x03), "10 02 01 02 BF 03 10 03 BE", "ask switch-on"},
        {CM_MCS_INQUIRY_DX(0x06), "10 02 01 02 BF 06 10 03 BB", "ask ducking hold time"},
        {CM_MCS_INQUIRY_DX(0x00), "10 02 01 02 BF 00 10 03 BD", "inquiry DX 00"},
        {Cmd(0x01, 0xA3, {0x22}), "10 02 01 02 A3 22 10 03 83", "command A3 too short"},
        {Cmd(0x01, 0xC0, {}), "10 02 01 01 C0 10 03 C1", "command C0"},
        {CM_MCS_START(0x01), "01"}, {CM_MCS_PROGRAM_START(0x05), "05 55 AA"},
        {CM_MCS_PAGE_EREASE(0x02, 0x6F), "02 6F 55 AA"}, {CM_MCS_PROGRAM(0x01, 0x00), "01 00 55 AA"},
        {CM_MCS_PROGRAM_FINISH(0x06), "06 55 AA"}, {CM_MCS_MCU_RESET(0x04), "04 55 AA"},
        // Markers inside the payload go unescaped; the length byte counts the sub byte.
        {CM_MCS_MIC(0x10, 0x03), "10 02 01 03 A3 10 03 10 03 B3", "Master left gain -8dB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const bool framed = c.cmd.Command() != 0;
        EXPECT_EQ(ToHex(c.cmd.MakeFrame(framed ? 1 : 0)), c.bytes);
        EXPECT_EQ(ToHex(c.cmd.MakeFrame(0)), ToHex(c.cmd.Payload())) << "raw mode is the payload alone";
        EXPECT_TRUE(c.cmd.MakeFrame(2).empty());
        if (framed) {
            EXPECT_EQ(LCmd(c.cmd.MakeFrame(1)), c.cmd) << "parses back to itself";
            EXPECT_EQ(CommandText(c.cmd), c.text);
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
