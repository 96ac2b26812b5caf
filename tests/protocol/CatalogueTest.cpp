#include "Commands.h"
#include "Hex.h"

#include <gtest/gtest.h>

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
    {"STEREO", [] { return CM_MCS_STEREO(25, 0x02); }, "10 02 01 03 A2 19 02 10 03 BA", true},
    {"MIC_1_pos10", [] { return CM_MCS_MIC(10, 0x10); }, "10 02 01 03 A3 0A 10 10 03 BA", true},
    {"POLLING", [] { return CM_MCS_POLLING(0x05); }, "10 02 01 01 05 10 03 04", true},
    {"IAP_RESET", [] { return CM_MCS_IAP_RESET(0x08); }, "10 02 01 01 08 10 03 09", true},
    {"DUCKING", [] { return CM_MCS_DUCKING(1, 0x12); }, "10 02 01 03 A9 01 12 10 03 B9", true},
    {"GANGED", [] { return CM_MCS_GANGED(1, 2); }, "10 02 01 03 AA 01 02 10 03 AA", true},
    {"SAVELOAD_load3", [] { return CM_MCS_SAVELOAD(3, 0); }, "10 02 01 03 AB 03 00 10 03 AB", true},
    {"MUTE", [] { return CM_MCS_MUTE(1, 0x00); }, "10 02 01 03 AE 01 00 10 03 AC", true},
    {"INQUIRY_1", [] { return CM_MCS_INQUIRY(0x04); }, "10 02 01 02 AF 04 10 03 A9", true},
    {"INQUIRY_2", [] { return CM_MCS_INQUIRY(0x01, 0x00); }, "10 02 01 03 AF 01 00 10 03 AD", true},
    {"DK_MIC_THD", [] { return CM_MCS_DK_MIC_THD(0x2B); }, "10 02 01 02 B2 2B 10 03 9B", true},
    {"DK_ST_RED", [] { return CM_MCS_DK_ST_RED(79); }, "10 02 01 02 B3 4F 10 03 FE", true},
    {"SWITCH", [] { return CM_MCS_SWITCH(0); }, "10 02 01 02 B7 00 10 03 B5", true},
    {"RESET", [] { return CM_MCS_RESET(0); }, "10 02 01 02 B8 00 10 03 BA", true},
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
    EXPECT_EQ(framed, 16);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, Catalogue, testing::ValuesIn(kCatalogue),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
