// Whatever arrives, the device finds the next frame and never hangs.
#include "FrameHunter.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

const std::string kPoll = "10 02 01 01 05 10 03 04";
const std::string kInquiry = "10 02 01 03 AF 01 00 10 03 AD";
const std::string kBadSum = "10 02 01 01 05 10 03 FF";

TEST(FrameHunter, FindsTheFramesInAnyStreamCutAnyWay)
{
    // idleAfter: the line goes quiet after the input
    // frames: found in order; only kBadSum fails its checksum
    struct Case { std::string input; bool idleAfter; std::vector<std::string> frames; };
    const Case cases[] = {
        {"FF 00 10 03 10 " + kPoll, false, {kPoll}},                                  // noise before
        {kPoll + " " + kInquiry, false, {kPoll, kInquiry}},                           // back to back
        {"10 02 01 03 A3 10 02 10 03 B2", false, {"10 02 01 03 A3 10 02 10 03 B2"}},  // markers in the payload
        {"10 02 01 03 AF 01 " + kPoll, false, {kPoll}},                               // cut frame, then a frame
        {"10 02 01 FF 05 " + kPoll, true, {kPoll}},                                   // overlong length
        {kBadSum + " " + kPoll, false, {kBadSum, kPoll}},
        {"10 02 01 00 10 03 00", false, {"10 02 01 00 10 03 00"}},  // length zero
        {"00 01 02 03 10 03 FF 10", true, {}},
        {"10 02 01 03 AF", true, {}},  // a partial frame is given up on a pause
    };
    for (const Case& c : cases) {
        const ByteVector in = Hex(c.input);
        for (std::size_t chunk : {in.size(), std::size_t{1}, std::size_t{3}}) {
            SCOPED_TRACE(c.input + " in chunks of " + std::to_string(chunk));
            sim::FrameHunter hunter;
            std::vector<std::string> found;
            auto take = [&](const std::vector<sim::HuntedFrame>& frames) {
                for (const auto& f : frames) {
                    found.push_back(ToHex(f.bytes));
                    EXPECT_EQ(f.checksumOk, found.back() != kBadSum);
                }
            };
            for (std::size_t i = 0; i < in.size(); i += chunk) {
                take(hunter.Feed(in.data() + i, std::min(chunk, in.size() - i)));
            }
            if (c.idleAfter) {
                take(hunter.Idle());
                EXPECT_FALSE(hunter.Partial());
            }
            EXPECT_EQ(found, c.frames);
        }
    }
}

TEST(FrameHunter, WrongChecksumIsAnsweredWithNakAndChangesNothing)
{
    sim::SimDevice d;
    const ByteVector bad = Hex("10 02 01 02 A1 03 10 03 00");
    const auto replies = d.Receive(bad.data(), bad.size(), 0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ToHex(replies[0].bytes), R("02"));
    EXPECT_EQ(d.Device().State(), sim::DeviceState{});
}
