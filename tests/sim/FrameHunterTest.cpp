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

TEST(Hunt, PartialFrameWaitsForItsBytes)
{
    sim::FrameHunter hunter;
    const ByteVector in = Hex(kPoll);
    EXPECT_TRUE(hunter.Feed(in.data(), 5).empty());
    EXPECT_TRUE(hunter.Partial());
    EXPECT_EQ(hunter.Feed(in.data() + 5, 3).size(), 1u);
    EXPECT_FALSE(hunter.Partial());
}

TEST(Hunt, WrongChecksumIsAnsweredWithNakAndChangesNothing)
{
    sim::SimDevice d;
    const ByteVector bad = Hex("10 02 01 02 A1 03 10 03 00");
    const auto replies = d.Receive(bad.data(), bad.size(), 0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ToHex(replies[0].bytes), R("02"));
    EXPECT_EQ(d.Device().State(), sim::DeviceState{});
}

// Random bytes in random chunks: no crash, no unbounded buffer, and a good
// frame after a pause is always answered.
TEST(Hunt, RandomGarbageNeverHangsTheDevice)
{
    std::mt19937 rng(20240601);
    const ByteVector poll = Hex(kPoll);
    for (int round = 0; round < 500; ++round) {
        sim::SimDevice d;
        ByteVector junk(rng() % 600);
        for (auto& b : junk) {
            // plenty of frame markers so that false starts are common
            const unsigned r = rng() % 8;
            b = r == 0 ? 0x10 : r == 1 ? 0x02 : r == 2 ? 0x03 : static_cast<std::uint8_t>(rng());
        }
        std::size_t i = 0;
        while (i < junk.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 40, junk.size() - i);
            for (const auto& r : d.Receive(junk.data() + i, n, 0)) {
                ASSERT_FALSE(r.bytes.empty());
            }
            i += n;
        }
        d.Idle(0);
        if (d.InBootLoader()) {
            continue;  // the junk happened to hold a valid IAP reset frame
        }
        ASSERT_FALSE(d.PartialInput()) << "round " << round;
        const auto replies = d.Receive(poll.data(), poll.size(), 0);
        ASSERT_EQ(replies.size(), 1u) << "round " << round;
        const LCmd reply(replies[0].bytes);
        EXPECT_TRUE(reply.Sub() == 0x01 || reply.Sub() == 0xC8 || reply.Sub() == 0xC4 || reply.Sub() == 0xC5)
            << "round " << round << ": " << ToHex(replies[0].bytes);
    }
}

}  // namespace
