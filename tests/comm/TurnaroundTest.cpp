// The short exchange path: frames written by the owner's thread straight to
// the port, reception released without waking the reader. What must hold:
// order on the line, bytes that came while a reply was handled, and a
// silence limit that rests during the handling.
#include "CommFixture.h"

#include <QElapsedTimer>

namespace {

class Turnaround : public CommFixture {};

// More than the pseudo-terminal holds, while the device does not read: the
// writes the port refuses are finished by the reader, and no later write
// overtakes them.
TEST_F(Turnaround, WritesThePortCannotTakeAtOnceKeepTheirOrder)
{
    LComm link(&owner);
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    ByteVector all;
    for (int i = 0; i < 256; ++i) {
        ByteVector chunk(LComm::kTransmitCapacity);
        for (std::size_t j = 0; j < chunk.size(); ++j) {
            chunk[j] = static_cast<std::uint8_t>(i * 7 + j);
        }
        ASSERT_TRUE(link.Write(chunk));
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(ReadPeer(all.size(), 10000), all);
    EXPECT_TRUE(owner.errors.empty());
}

// The next reply is already in the port while the first is handled (a long
// modal box): it is read after the release, and the silence limit neither
// runs during the handling nor starts late after it.
TEST_F(Turnaround, BytesThatCameDuringTheHandlingAreReadAfterIt)
{
    constexpr int kLimitMs = 200;
    LCommProc& d = MakeDriver();
    d.SetSilenceLimitMs(kLimitMs);
    ASSERT_TRUE(OpenDriver());
    QElapsedTimer sinceRelease;
    owner.onReply = [&](const RecCompleteEvent&) {
        if (owner.replies.size() == 1) {
            WaitFor([] { return false; }, 3 * kLimitMs);
        }
        sinceRelease.start();
    };
    d.Send(Frame('X'), true);
    d.Send(Frame('Y'), true);
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    const ByteVector ack = Ack();
    ByteVector two = ack;
    two.insert(two.end(), ack.begin(), ack.end());
    ASSERT_TRUE(peer.Write(two));
    ASSERT_TRUE(WaitFor([&] { return owner.replies.size() == 2; }));
    EXPECT_EQ(ReadPeer(8), Frame('Y'));
    EXPECT_TRUE(owner.errors.empty());
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
    EXPECT_GE(sinceRelease.elapsed(), kLimitMs - 5);
    EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));
}

}  // namespace
