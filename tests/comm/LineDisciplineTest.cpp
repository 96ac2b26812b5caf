// One frame on the line at a time: what waits, what goes next, and how
// replies are cut from the stream.
#include "CommFixture.h"
#include "Commands.h"
#include "ReplyCollector.h"

#include <string>

namespace {

using LineDiscipline = CommFixture;

// A 9-byte frame named by its sub byte.
ByteVector Framed(char sub)
{
    const auto s = static_cast<std::uint8_t>(sub);
    return LCmd(ByteVector{0x10, 0x02, 0x01, 0x02, s, 0, 0x10, 0x03, 0x00}).MakeFrame(frame::kModeFramed);
}

// Frames submitted while one is out: "A" queues A, "|" answers once and
// takes the frame that goes next, ">A" is submitted while the next reply is
// handled (a message box open inside the handling). Then the frames leave in
// queue order, one per reply, and none while a reply is being handled.
TEST_F(LineDiscipline, FramesLeaveInQueueOrderOneReplyAtATime)
{
    struct Case {
        std::vector<std::string> whileBusy;
        std::size_t queued;
        std::string sent;  // after the first frame, in order
    };
    const Case cases[] = {
        {{"A", "B", "A"}, 3, "ABA"},
        {{"A", "|", "B"}, 1, "AB"},
        {{"D", ">P", ">Q"}, 1, "DPQ"},  // behind the frames queued before the handling
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        owner.replies.clear();
        LCommProc& d = OpenDriver();
        auto submit = [&d](const std::string& s) { d.Send(Framed(s[0])); };
        std::vector<std::string> handling;
        bool heardWhileHandling = false;
        owner.onReply = [&](const RecCompleteEvent&) {
            std::ranges::for_each(handling, submit);
            heardWhileHandling = !handling.empty() && PeerHearsAnything(100);
            handling.clear();
        };
        d.Send(Frame('X'));
        ASSERT_EQ(ReadPeer(8), Frame('X'));
        std::string sent;
        for (const std::string& s : c.whileBusy) {
            if (s == "|") {
                ASSERT_TRUE(peer.Write(Ack()));
                sent += static_cast<char>(ReadPeer(9)[4]);
            } else if (s[0] == '>') {
                handling.push_back(s.substr(1));
            } else {
                submit(s);
            }
        }
        EXPECT_EQ(d.QueueLength(), c.queued);
        EXPECT_FALSE(PeerHearsAnything(50)) << "nothing more goes out before the reply";
        while (sent.size() < c.sent.size()) {
            ASSERT_TRUE(peer.Write(Ack()));
            const ByteVector next = ReadPeer(9);
            ASSERT_EQ(next.size(), 9u) << "after " << sent;
            sent += static_cast<char>(next[4]);
        }
        EXPECT_EQ(sent, c.sent);
        ASSERT_TRUE(peer.Write(Ack()));
        EXPECT_TRUE(WaitFor([&] { return !d.IsBusy(); }));
        EXPECT_EQ(d.QueueLength(), 0u);
        EXPECT_EQ(owner.replies.size(), c.sent.size() + 1);
        EXPECT_FALSE(heardWhileHandling);
    }
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
