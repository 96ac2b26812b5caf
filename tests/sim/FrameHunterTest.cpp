// Whatever arrives, the device finds the next frame and never hangs.
#include "FrameHunter.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const std::string kPoll = "10 02 01 01 05 10 03 04";

struct HuntCase {
    const char* name;
    std::string input;
    bool idleAfter;               // the line goes quiet after the input
    std::vector<std::string> frames;  // frames found, in order
    std::vector<bool> checksumOk;
};

void PrintTo(const HuntCase& c, std::ostream* os) { *os << c.name; }

class Hunt : public testing::TestWithParam<HuntCase> {};

TEST_P(Hunt, FindsExactlyTheseFrames)
{
    const auto& c = GetParam();
    const ByteVector in = Hex(c.input);
    for (std::size_t chunk : {in.size(), std::size_t{1}, std::size_t{3}}) {
        sim::FrameHunter hunter;
        std::vector<sim::HuntedFrame> found;
        for (std::size_t i = 0; i < in.size(); i += chunk) {
            auto f = hunter.Feed(in.data() + i, std::min(chunk, in.size() - i));
            found.insert(found.end(), f.begin(), f.end());
        }
        if (c.idleAfter) {
            auto f = hunter.Idle();
            found.insert(found.end(), f.begin(), f.end());
            EXPECT_FALSE(hunter.Partial());
        }
        ASSERT_EQ(found.size(), c.frames.size()) << "chunk " << chunk;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(ToHex(found[i].bytes), c.frames[i]) << "chunk " << chunk;
            EXPECT_EQ(found[i].checksumOk, c.checksumOk[i]) << "chunk " << chunk;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, Hunt, testing::Values(
    HuntCase{"plain", kPoll, false, {kPoll}, {true}},
    HuntCase{"noise_before", "FF 00 10 03 10 " + kPoll, false, {kPoll}, {true}},
    HuntCase{"two_back_to_back", kPoll + " 10 02 01 03 AF 01 00 10 03 AD", false,
        {kPoll, "10 02 01 03 AF 01 00 10 03 AD"}, {true, true}},
    HuntCase{"markers_inside_payload", "10 02 01 03 A3 10 02 10 03 B2", false, {"10 02 01 03 A3 10 02 10 03 B2"}, {true}},
    HuntCase{"cut_frame_then_frame", "10 02 01 03 AF 01 " + kPoll, false, {kPoll}, {true}},
    HuntCase{"overlong_length_then_frame", "10 02 01 FF 05 " + kPoll, true, {kPoll}, {true}},
    HuntCase{"wrong_checksum_kept_apart", "10 02 01 01 05 10 03 FF " + kPoll, false, {"10 02 01 01 05 10 03 FF", kPoll},
        {false, true}},
    HuntCase{"length_zero", "10 02 01 00 10 03 00", false, {"10 02 01 00 10 03 00"}, {true}},
    HuntCase{"only_noise", "00 01 02 03 10 03 FF 10", true, {}, {}},
    HuntCase{"partial_given_up_on_idle", "10 02 01 03 AF", true, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hunt, WrongChecksumIsAnsweredWithNakAndChangesNothing)
{
    sim::SimDevice d;
    const ByteVector bad = Hex("10 02 01 02 A1 03 10 03 00");
    const auto replies = d.Receive(bad.data(), bad.size(), 0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ToHex(replies[0].bytes), R("02"));
    EXPECT_EQ(d.Device().State(), sim::DeviceState{});
}

}  // namespace
