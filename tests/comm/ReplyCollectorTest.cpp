// Replies cut from the byte stream by their length byte (framed) or byte by
// byte (raw).
#include "ReplyCollector.h"

#include "Hex.h"

#include <gmock/gmock.h>

namespace {

std::vector<std::string> Collect(ReplyCollector& c, std::uint8_t mode, const std::string& hex)
{
    std::vector<std::string> out;
    for (std::uint8_t b : Hex(hex)) {
        if (c.Feed(b, mode)) {
            out.push_back(ToHex(c.Take()));
        }
    }
    return out;
}

TEST(ReplyCollector, CutsRepliesFromTheStream)
{
    struct Case {
        std::uint8_t mode;
        const char* bytes;
        std::vector<std::string> replies;  // in order of completion
        const char* leftOver;              // still being collected afterwards
    };
    const Case cases[] = {
        {1, "55 10 10 02 01 01 01 10 03 00", {"10 02 01 01 01 10 03 00"}, ""},  // noise and a lone DLE dropped
        {1, "10 41 02 01 01 01 10 03 00", {"10 02 01 01 01 10 03 00"}, ""},     // DLE then other keeps the DLE
        // Complete by count alone: the trailer and checksum may be anything.
        {1, "10 02 01 05 C3 10 03 10 03 FF FF EE 10 02", {"10 02 01 05 C3 10 03 10 03 FF FF EE"}, "10 02"},
        {1, "10 02 01 05 C3 10 03 10 03 FF FF", {}, "10 02 01 05 C3 10 03 10 03 FF FF"},
        {1, "10 02 01 00 10 03 01", {"10 02 01 00 10 03 01"}, ""},
        {1, "10 02 01 01 01 10 03 00 10 02 01 01 02 10 03 03", {"10 02 01 01 01 10 03 00", "10 02 01 01 02 10 03 03"}, ""},
        {0, "41 42 10 02", {"41", "42", "10", "02"}, ""},
        {2, "10 02 01 01 01 10 03 00", {}, ""},  // another mode takes nothing
    };
    for (const Case& c : cases) {
        ReplyCollector collector;
        EXPECT_EQ(Collect(collector, c.mode, c.bytes), c.replies) << c.bytes;
        EXPECT_EQ(ToHex(collector.Pending()), c.leftOver) << c.bytes;
    }
    // A switch of mode keeps a partial reply: raw mode hands it out with the next byte.
    ReplyCollector collector;
    EXPECT_TRUE(Collect(collector, 1, "10 02 01").empty());
    EXPECT_THAT(Collect(collector, 0, "AA"), testing::ElementsAre("10 02 01 AA"));
    EXPECT_TRUE(collector.Pending().empty());
}

}  // namespace
