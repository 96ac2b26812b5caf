#include "Commands.h"
#include "Hex.h"
#include "Reports.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>

namespace {

struct CatalogueCase {
    const char* name;
    std::function<LCmd()> make;
    const char* bytes;  // framed for framed commands, raw for boot-loader ones
    bool framed;
};

const CatalogueCase kCatalogue[] = {
    {"LINE_tuner", [] { return CM_MCS_LINE(0x01); }, "10 02 01 02 A1 01 10 03 A2", true},
    {"LINE_off", [] { return CM_MCS_LINE(0x00); }, "10 02 01 02 A1 00 10 03 A3", true},
    {"STEREO", [] { return CM_MCS_STEREO(25, 0x02); }, "10 02 01 03 A2 19 02 10 03 BA", true},
    {"MIC_1_pos10", [] { return CM_MCS_MIC(10, 0x10); }, "10 02 01 03 A3 0A 10 10 03 BA", true},
    {"MIC_6_mute", [] { return CM_MCS_MIC(79, channel::Mic(6)); }, "10 02 01 03 A3 4F 15 10 03 FA", true},
    {"POLLING", [] { return CM_MCS_POLLING(0x05); }, "10 02 01 01 05 10 03 04", true},
    {"IAP_RESET", [] { return CM_MCS_IAP_RESET(0x08); }, "10 02 01 01 08 10 03 09", true},
    {"MANDUCKING_on", [] { return CM_MCS_MANDUCKING(2); }, "10 02 01 02 A8 02 10 03 A8", true},
    {"DUCKING", [] { return CM_MCS_DUCKING(1, 0x12); }, "10 02 01 03 A9 01 12 10 03 B9", true},
    {"GANGED", [] { return CM_MCS_GANGED(1, 2); }, "10 02 01 03 AA 01 02 10 03 AA", true},
    {"SAVELOAD_load3", [] { return CM_MCS_SAVELOAD(3, 0); }, "10 02 01 03 AB 03 00 10 03 AB", true},
    {"MUTE", [] { return CM_MCS_MUTE(1, 0x00); }, "10 02 01 03 AE 01 00 10 03 AC", true},
    {"INQUIRY_1", [] { return CM_MCS_INQUIRY(0x04); }, "10 02 01 02 AF 04 10 03 A9", true},
    {"INQUIRY_2", [] { return CM_MCS_INQUIRY(0x01, 0x00); }, "10 02 01 03 AF 01 00 10 03 AD", true},
    {"DK_MIC_THD", [] { return CM_MCS_DK_MIC_THD(0x2B); }, "10 02 01 02 B2 2B 10 03 9B", true},
    {"DK_ST_RED", [] { return CM_MCS_DK_ST_RED(79); }, "10 02 01 02 B3 4F 10 03 FE", true},
    {"DK_HOLD", [] { return CM_MCS_DK_HOLD(55); }, "10 02 01 02 B4 37 10 03 81", true},
    {"DK_FADEOUT", [] { return CM_MCS_DK_FADEOUT(63); }, "10 02 01 02 B5 3F 10 03 88", true},
    {"DK_FADEIN", [] { return CM_MCS_DK_FADEIN(0); }, "10 02 01 02 B6 00 10 03 B4", true},
    {"SWITCH", [] { return CM_MCS_SWITCH(0); }, "10 02 01 02 B7 00 10 03 B5", true},
    {"RESET", [] { return CM_MCS_RESET(0); }, "10 02 01 02 B8 00 10 03 BA", true},
    {"INQUIRY_DX_1", [] { return CM_MCS_INQUIRY_DX(0x03); }, "10 02 01 02 BF 03 10 03 BE", true},
    {"INQUIRY_DX_2", [] { return CM_MCS_INQUIRY_DX(0x02, 0x15); }, "10 02 01 03 BF 02 15 10 03 AB", true},
    {"START", [] { return CM_MCS_START(0x01); }, "01", false},
    {"PROGRAM_START", [] { return CM_MCS_PROGRAM_START(0x05); }, "05 55 AA", false},
    {"PAGE_EREASE", [] { return CM_MCS_PAGE_EREASE(0x02, 0x6F); }, "02 6F 55 AA", false},
    {"PROGRAM", [] { return CM_MCS_PROGRAM(0x01, 0x00); }, "01 00 55 AA", false},
    {"PROGRAM_FINISH", [] { return CM_MCS_PROGRAM_FINISH(0x06); }, "06 55 AA", false},
    {"MCU_RESET", [] { return CM_MCS_MCU_RESET(0x04); }, "04 55 AA", false},
};

class Catalogue : public testing::TestWithParam<CatalogueCase> {};

TEST_P(Catalogue, BuildsItsBytes)
{
    const auto& c = GetParam();
    const LCmd cmd = c.make();
    EXPECT_EQ(ToHex(cmd.MakeFrame(c.framed ? 1 : 0)), c.bytes);
    if (c.framed) {
        EXPECT_EQ(cmd.Command(), kControlCommand);
    } else {
        EXPECT_EQ(cmd.Command(), 0);
        EXPECT_EQ(cmd.Sub(), 0);
    }
}

void PrintTo(const CatalogueCase& c, std::ostream* os)
{
    *os << c.name;
}

TEST(Catalogue, EveryFramedCommandParsesBackToItself)
{
    int framed = 0;
    for (const auto& c : kCatalogue) {
        if (c.framed) {
            const LCmd cmd = c.make();
            EXPECT_EQ(LCmd(cmd.MakeFrame(1)), cmd) << c.name;
            ++framed;
        }
    }
    EXPECT_EQ(framed, 23);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, Catalogue, testing::ValuesIn(kCatalogue),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Catalogue, ProgramDataCopiesExactlyLengthBytes)
{
    std::array<std::uint8_t, 70> image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7);
    }
    const CM_MCS_PROGRAM_DATA data(image.data(), 64);
    const ByteVector raw = data.MakeFrame(0);
    ASSERT_EQ(raw.size(), 64u);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), image.begin()));
    EXPECT_TRUE(CM_MCS_PROGRAM_DATA(nullptr, 64).MakeFrame(0).empty());
}

TEST(Catalogue, ChannelBytes)
{
    EXPECT_EQ(channel::Mic(1), 0x10);
    EXPECT_EQ(channel::Mic(6), 0x15);
    EXPECT_TRUE(channel::IsMic(0x15));
    EXPECT_FALSE(channel::IsMic(0x16));
    EXPECT_FALSE(channel::IsMic(0x04));
    EXPECT_TRUE(channel::IsStereo(0x04));
    EXPECT_FALSE(channel::IsStereo(0x05));
}

// ---- receive-side knowledge

TEST(Reports, RecognisedSubBytesAndTheirLayouts)
{
    const std::pair<std::uint8_t, int> known[] = {
        {0xC1, 1}, {0xC2, 2}, {0xC3, 2}, {0xC4, 2}, {0xC5, 2}, {0xC8, 1}, {0xC9, 2}, {0xCA, 2},
        {0xCC, 2}, {0xCD, 2}, {0xCE, 2}, {0xD2, 1}, {0xD3, 1}, {0xD4, 1}, {0xD5, 1}, {0xD6, 1},
        {0xD7, 1}, {0xD8, 0}, {0xE0, 0}, {0xE1, 1}};
    int recognised = 0;
    for (int s = 0; s < 256; ++s) {
        const auto b = static_cast<std::uint8_t>(s);
        if (IsRecognisedReport(b)) {
            ++recognised;
        }
    }
    EXPECT_EQ(recognised, static_cast<int>(std::size(known)));
    for (const auto& [s, length] : known) {
        EXPECT_TRUE(IsRecognisedReport(s)) << std::hex << int(s);
        EXPECT_EQ(ReportPayloadLength(s), static_cast<std::size_t>(length)) << std::hex << int(s);
    }
    for (std::uint8_t gap : {0x01, 0x02, 0x05, 0xC0, 0xC6, 0xC7, 0xCB, 0xCF, 0xD0, 0xD1, 0xD9, 0xDF, 0xE2, 0xFF}) {
        EXPECT_FALSE(IsRecognisedReport(gap)) << std::hex << int(gap);
    }
}

TEST(Reports, ReplyTexts)
{
    EXPECT_STREQ(kAckText, "-ACK-");
    EXPECT_STREQ(kNakText, "-NAK-");
    EXPECT_EQ(UnknownCommandText(0xCB), "unknow command: CB");
    EXPECT_EQ(UnknownCommandText(0x0A), "unknow command: 0A");
}

TEST(Reports, ErrorMessageIds)
{
    EXPECT_EQ(kBusyMessageId, 30102);
    EXPECT_EQ(ErrorMessageId(0), 30103);
    EXPECT_EQ(ErrorMessageId(3), 30106);
    EXPECT_EQ(ErrorMessageId(9), 30112);
    EXPECT_EQ(ErrorMessageId(10), std::nullopt);
    EXPECT_EQ(ErrorMessageId(255), std::nullopt);
}

}  // namespace
