#include "ReplyCollector.h"

#include "Hex.h"

#include <gmock/gmock.h>

#include <vector>

namespace {

struct CollectCase {
    const char* name;
    std::uint8_t mode;
    const char* bytes;
    std::vector<const char*> replies;  // in order of completion
    const char* leftOver;               // still being collected afterwards
};

std::vector<std::string> Collect(ReplyCollector& c, std::uint8_t mode, const ByteVector& bytes)
{
    std::vector<std::string> out;
    for (std::uint8_t b : bytes) {
        if (c.Feed(b, mode)) {
            out.push_back(ToHex(c.Take()));
        }
    }
    return out;
}

void PrintTo(const CollectCase& k, std::ostream* out)
{
    *out << k.name;
}

class ReplyCollectorTable : public testing::TestWithParam<CollectCase> {};

TEST_P(ReplyCollectorTable, CutsRepliesFromTheStream)
{
    const CollectCase& k = GetParam();
    ReplyCollector collector;
    std::vector<std::string> expected;
    for (const char* r : k.replies) {
        expected.push_back(ToHex(Hex(r)));
    }
    EXPECT_EQ(Collect(collector, k.mode, Hex(k.bytes)), expected);
    EXPECT_EQ(ToHex(collector.Pending()), ToHex(Hex(k.leftOver)));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReplyCollectorTable,
    testing::Values(
        CollectCase{"NoiseAndLoneDleDropped", 1, "55 10 10 02 01 01 01 10 03 00",
                    {"10 02 01 01 01 10 03 00"}, ""},
        CollectCase{"DleThenOtherKeepsDle", 1, "10 41 02 01 01 01 10 03 00", {"10 02 01 01 01 10 03 00"}, ""},
        // Complete by count alone: the trailer and checksum may be anything.
        CollectCase{"LengthFiveIsTwelveBytes", 1, "10 02 01 05 C3 10 03 10 03 FF FF EE 10 02",
                    {"10 02 01 05 C3 10 03 10 03 FF FF EE"}, "10 02"},
        CollectCase{"ElevenBytesOfLengthFiveWait", 1, "10 02 01 05 C3 10 03 10 03 FF FF", {},
                    "10 02 01 05 C3 10 03 10 03 FF FF"},
        CollectCase{"LengthZeroIsSevenBytes", 1, "10 02 01 00 10 03 01", {"10 02 01 00 10 03 01"}, ""},
        CollectCase{"BackToBackFrames", 1, "10 02 01 01 01 10 03 00 10 02 01 01 02 10 03 03",
                    {"10 02 01 01 01 10 03 00", "10 02 01 01 02 10 03 03"}, ""},
        CollectCase{"RawEveryByteAReply", 0, "41 42 10 02", {"41", "42", "10", "02"}, ""},
        CollectCase{"OtherModeIgnoresAll", 2, "10 02 01 01 01 10 03 00", {}, ""}),
    [](const testing::TestParamInfo<CollectCase>& info) { return std::string(info.param.name); });

TEST(ReplyCollector, ModeChangeKeepsAPartialReply)
{
    ReplyCollector collector;
    EXPECT_TRUE(Collect(collector, 1, Hex("10 02 01")).empty());
    // The partial frame is not thrown away by the switch: raw mode hands it
    // out together with the next byte.
    EXPECT_THAT(Collect(collector, 0, Hex("AA")), testing::ElementsAre("10 02 01 AA"));
    EXPECT_TRUE(collector.Pending().empty());
}

}  // namespace
