#include "CommFixture.h"

#include <string>
#include <vector>

namespace {

using LineDiscipline = CommFixture;

// Merging frames set one item ('M', value = name); appended ones are told
// apart by their sub byte. Both are 9 bytes on the line.
struct Submission {
    char name;
    bool append;
    char item = 'M';  // the item a merging frame sets
};

ByteVector Framed(std::uint8_t sub, std::uint8_t value)
{
    class Cmd : public LCmd {
    public:
        Cmd(std::uint8_t s, std::uint8_t v) : LCmd(0x01, s) { Append(v); }
    };
    return Cmd(sub, value).MakeFrame(frame::kModeFramed);
}

ByteVector FrameOf(const Submission& s)
{
    return s.append ? Framed(static_cast<std::uint8_t>(s.name), 0) : Framed(static_cast<std::uint8_t>(s.item), static_cast<std::uint8_t>(s.name));
}

char NameOf(const ByteVector& frame)
{
    return static_cast<char>(frame[4] == 'M' || frame[4] == 'N' ? frame[5] : frame[4]);
}

struct QueueCase {
    const char* title;
    std::vector<Submission> whileBusy;
    std::size_t queued;
    std::string sentAfter;  // the frames that follow the first one, in order
    bool slotAfterFirstSent;  // a merge slot is still queued after the first of them left
};

void PrintTo(const QueueCase& k, std::ostream* out)
{
    *out << k.title;
}

class QueueOrder : public CommFixture, public testing::WithParamInterface<QueueCase> {};

TEST_P(QueueOrder, FramesLeaveInQueueOrderOneReplyAtATime)
{
    const QueueCase& k = GetParam();
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver());
    d.Send(Frame('X'), true);
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    for (const Submission& s : k.whileBusy) {
        d.Send(FrameOf(s), s.append);
    }
    EXPECT_EQ(d.QueueLength(), k.queued);
    // Nothing more goes out before the reply.
    EXPECT_FALSE(PeerHearsAnything(50));

    std::string sent;
    for (std::size_t i = 0; i < k.sentAfter.size(); ++i) {
        ASSERT_TRUE(peer.Write(Ack()));
        const ByteVector next = ReadPeer(9);
        ASSERT_EQ(next.size(), 9u) << "after reply " << i;
        sent += NameOf(next);
        if (i == 0) {
            EXPECT_EQ(d.HasMergeSlot(), k.slotAfterFirstSent);
        }
    }
    EXPECT_EQ(sent, k.sentAfter);
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_TRUE(WaitFor([&] { return !d.IsBusy(); }));
    EXPECT_EQ(d.QueueLength(), 0u);
    EXPECT_EQ(owner.replies.size(), k.sentAfter.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueueOrder,
    testing::Values(QueueCase{"MergeThreeThenAppend", {{'A', false}, {'B', false}, {'C', false}, {'D', true}}, 2, "CD", false},
                    QueueCase{"AppendThenMerge", {{'D', true}, {'A', false}}, 2, "DA", true},
                    QueueCase{"MergeKeepsItsPlaceBeforeLaterAppends", {{'A', false}, {'D', true}, {'B', false}}, 2, "BD", false},
                    QueueCase{"AppendsKeepEveryFrame", {{'A', true}, {'B', true}, {'C', true}}, 3, "ABC", false},
                    // Another item's waiting value is never replaced; the slot moves on.
                    QueueCase{"OtherItemIsQueuedBehind", {{'A', false}, {'B', false, 'N'}, {'C', false, 'N'}}, 2, "AC", true},
                    QueueCase{"SlotMovesToTheLatestItem", {{'A', false}, {'B', false, 'N'}, {'C', false}}, 3, "ABC", true}),
    [](const testing::TestParamInfo<QueueCase>& info) { return std::string(info.param.title); });

TEST_F(LineDiscipline, MergeAfterTheSlotWasSentQueuesAnew)
{
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver());
    d.Send(Frame('X'), true);
    d.Send(Frame('A'), false);
    d.Send(Frame('D'), true);
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    ASSERT_TRUE(peer.Write(Ack()));
    ASSERT_EQ(ReadPeer(8), Frame('A'));
    // The slot went with A: a new merging frame must not overwrite D.
    d.Send(Frame('B'), false);
    EXPECT_EQ(d.QueueLength(), 2u);
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_EQ(ReadPeer(8), Frame('D'));
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_EQ(ReadPeer(8), Frame('B'));
}

TEST_F(LineDiscipline, PollGoesOutOnlyWhenIdle)
{
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver(false));
    ASSERT_EQ(ReadPeer(8, 1000), LCommProc::PollFrame());
    // Unanswered, the poll keeps the driver busy: no second poll.
    EXPECT_FALSE(PeerHearsAnything(350));
    EXPECT_TRUE(d.IsBusy());
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_EQ(ReadPeer(8, 1000), LCommProc::PollFrame());
    ASSERT_EQ(owner.replies.size(), 1u);
    EXPECT_EQ(owner.replies[0], Ack());
}

TEST_F(LineDiscipline, FrameShapedRawPageIsCollectedRaw)
{
    // A firmware page whose bytes happen to look like a frame.
    ByteVector page(64, 0x5A);
    page[0] = 0x10;
    page[1] = 0x02;
    page[61] = 0x10;
    page[62] = 0x03;
    ASSERT_TRUE(IsFramed(page));

    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver());
    d.Send(page, true, frame::kModeRaw);
    EXPECT_EQ(d.ReceiveMode(), frame::kModeRaw);
    ASSERT_EQ(ReadPeer(64), page);
    ASSERT_TRUE(peer.Write(Hex("AA")));  // the boot loader's one-byte answer
    ASSERT_TRUE(WaitFor([&] { return !owner.replies.empty(); }));
    EXPECT_EQ(ToHex(owner.replies[0]), "AA");
    EXPECT_TRUE(WaitFor([&] { return !d.IsBusy(); }));

    // Without the forced mode the shape decides, as for every other frame.
    d.Send(page, true);
    EXPECT_EQ(d.ReceiveMode(), frame::kModeFramed);
}

TEST_F(LineDiscipline, FramesSubmittedWhileHandlingFollowTheReplyInOrder)
{
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver());
    d.Send(Frame('X'), true);
    d.Send(Frame('Z'), true);
    ASSERT_EQ(ReadPeer(8), Frame('X'));

    bool heardDuringHandling = true;
    bool first = true;
    owner.onReply = [&](const RecCompleteEvent&) {
        if (!first) {
            return;
        }
        first = false;
        d.Send(Frame('P'), true);
        d.Send(Frame('Q'), false);
        // As if a message box were open: events run, yet Z must wait.
        heardDuringHandling = PeerHearsAnything(150);
    };
    ASSERT_TRUE(peer.Write(Ack()));
    ASSERT_TRUE(WaitFor([&] { return !owner.replies.empty(); }));
    EXPECT_FALSE(heardDuringHandling);
    std::string order;
    for (int i = 0; i < 3; ++i) {
        const ByteVector next = ReadPeer(8);
        ASSERT_EQ(next.size(), 8u);
        order += static_cast<char>(next[4]);
        ASSERT_TRUE(peer.Write(Ack()));
    }
    EXPECT_EQ(order, "ZPQ");
    EXPECT_TRUE(WaitFor([&] { return !d.IsBusy(); }));
}

}  // namespace

namespace {

struct TargetCase {
    const char* waiting;
    const char* next;
    bool same;
};

TEST(MergeTarget, OnlyTheSameItemIsReplaced)
{
    const TargetCase cases[] = {
        {"10 02 01 03 A3 0A 10 10 03 BA", "10 02 01 03 A3 0B 10 10 03 BB", true},   // same mic, new position
        {"10 02 01 03 A3 0A 10 10 03 BA", "10 02 01 03 A3 0A 11 10 03 BB", false},  // another mic
        {"10 02 01 03 A2 0A 00 10 03 BA", "10 02 01 03 AE 01 00 10 03 AC", false},  // fader, then its mute
        {"10 02 01 03 AE 01 12 10 03 00", "10 02 01 03 AE 00 12 10 03 00", true},   // mute toggled back
        {"10 02 01 02 B4 10 10 03 00", "10 02 01 02 B4 37 10 03 00", true},         // hold time, one byte
        {"10 02 01 02 B4 10 10 03 00", "10 02 01 02 B3 10 10 03 00", false},        // another setting
        {"01 00 55 AA", "01 00 55 AA", true},                                        // raw: only identical bytes
        {"01 00 55 AA", "01 01 55 AA", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LCommProc::SameTarget(Hex(c.waiting), Hex(c.next)), c.same) << c.waiting << " / " << c.next;
    }
}

}  // namespace
