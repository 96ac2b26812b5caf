// One frame on the line at a time: what waits, what goes next, and how
// replies are cut from the stream.
#include "CommFixture.h"
#include "ReplyCollector.h"

#include <string>

namespace {

using LineDiscipline = CommFixture;

// Frames submitted while one is out leave in order, one per reply; frames
// submitted while a reply is handled (a message box open inside the
// handling) wait behind them, and none goes out before the handling ends.
TEST_F(LineDiscipline, FramesLeaveInQueueOrderOneReplyAtATime)
{
    LCommProc& d = OpenDriver();
    bool heardWhileHandling = false;
    owner.onReply = [&](const RecCompleteEvent&) {
        if (owner.replies.size() == 1) {
            d.Send(Frame('P'));
            heardWhileHandling = PeerHearsAnything(100);
        }
    };
    d.Send(Frame('X'));
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    d.Send(Frame('A'));
    d.Send(Frame('B'));
    EXPECT_EQ(d.QueueLength(), 2u);
    EXPECT_FALSE(PeerHearsAnything(50)) << "nothing more goes out before the reply";
    std::string sent;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(peer.Write(Ack()));
        const ByteVector next = ReadPeer(8);
        ASSERT_EQ(next.size(), 8u) << "after " << sent;
        sent += static_cast<char>(next[4]);
    }
    EXPECT_EQ(sent, "ABP");
    EXPECT_FALSE(heardWhileHandling);
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_TRUE(WaitFor([&] { return !d.IsBusy() && d.QueueLength() == 0; }));
    owner.onReply = nullptr;
}

TEST_F(LineDiscipline, FrameShapedRawPageIsCollectedRaw)
{
    ByteVector page(64, 0x5A);  // a firmware page whose bytes happen to look like a frame
    std::ranges::copy(Hex("10 02"), page.begin());
    std::ranges::copy(Hex("10 03"), page.begin() + 61);
    ASSERT_TRUE(IsFramed(page));
    LCommProc& d = OpenDriver();
    d.Send(page, frame::kModeRaw);
    EXPECT_EQ(d.ReceiveMode(), frame::kModeRaw);
    ASSERT_EQ(ReadPeer(64), page);
    ASSERT_TRUE(peer.Write(Hex("AA")));  // the boot loader's one-byte answer
    ASSERT_TRUE(WaitFor([&] { return !owner.replies.empty() && !d.IsBusy(); }));
    EXPECT_EQ(owner.replies[0], Hex("AA"));
    d.Send(page);
    EXPECT_EQ(d.ReceiveMode(), frame::kModeFramed) << "without the forced mode the shape decides";
}

// Replies cut from the byte stream by their length byte (framed) or byte by
// byte (raw).
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
    // replies: in order of completion
    // leftOver: still being collected afterwards
    struct Case { std::uint8_t mode; const char* bytes; std::vector<std::string> replies; const char* leftOver; };
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
