// Replies reach the owner's thread by posted events: only the driver that
// sent one handles it, and closing never waits on a reply being handled.
#include "CommFixture.h"

#include <QDialog>
#include <QTimer>

namespace {

using Delivery = CommFixture;

// Replies still in flight when their driver was closed or replaced never
// reach the handler, not even a new driver's at the same address.
TEST_F(Delivery, OnlyTheCurrentDriversRepliesAreHandled)
{
    int handled = 0;
    auto deliver = [&](quint64 from, LCommProc* current) {
        RecCompleteEvent reply(Ack(), 0, from);
        EXPECT_TRUE(DeliverReply(&reply, [=] { return current; }, [&](auto&) { ++handled; }));
    };
    const quint64 old = OpenDriver().Id();
    driver->Close();
    deliver(old, driver.get());
    driver.reset();
    OpenDriver();
    deliver(old, driver.get());
    deliver(old, nullptr);
    EXPECT_EQ(handled, 0);
    deliver(driver->Id(), driver.get());
    EXPECT_EQ(handled, 1);
}

// Close from every state the owner can be in, many times over (the
// threading builds run this to find a deadlock or a late use of the driver).
TEST_F(Delivery, CloseReturnsPromptlyInEveryState)
{
    enum State { Idle, Busy, ReaderEnded, Handling, HandlerDestroys, ModalDialog };
    for (State state : {Idle, Busy, ReaderEnded, Handling, HandlerDestroys, ModalDialog}) {
        for (int round = 0; round < 15; ++round) {
            SCOPED_TRACE(testing::Message() << "state " << state << ", round " << round);
            owner.errors.clear();
            LCommProc& d = OpenDriver(false, state == ReaderEnded ? 30 : 8000);
            qint64 closeMs = -1;
            auto close = [&] {
                closeMs = Timed([&] { state == HandlerDestroys ? driver.reset() : driver->Close(); });
            };
            if (state == Idle) {
                close();
            } else if (state == Busy) {
                d.Send(Frame('X'), true);
                d.Send(Frame('Y'), false);
                ASSERT_EQ(ReadPeer(8), Frame('X'));
                close();
                EXPECT_EQ(d.QueueLength(), 0u);
            } else if (state == ReaderEnded) {
                ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty() && !d.ReaderRunning(); }));
                close();
            } else {
                owner.onReply = [&](const RecCompleteEvent&) {
                    if (state != ModalDialog) {
                        return close();
                    }
                    QDialog box;
                    QTimer::singleShot(10, &box, [&] {
                        close();
                        box.reject();
                    });
                    box.exec();
                };
                d.Send(Frame('X'), true);
                d.Send(Frame('Y'), true);
                ASSERT_EQ(ReadPeer(8), Frame('X'));
                ASSERT_TRUE(peer.Write(Ack()));
                ASSERT_TRUE(WaitFor([&] { return closeMs >= 0; }));
                owner.onReply = nullptr;
            }
            EXPECT_TRUE(closeMs >= 0 && closeMs < kPromptMs) << closeMs;
            if (driver) {
                EXPECT_FALSE(driver->IsOpen());
                EXPECT_FALSE(driver->ReaderRunning());
                driver.reset();
            }
            EXPECT_FALSE(PeerHearsAnything(round == 0 ? 100 : 5)) << "a frame went out after the close";
            // No error 5; the only error is the silence that ended the reader.
            EXPECT_EQ(owner.errors, state == ReaderEnded ? std::vector<int>{kErrSilence} : std::vector<int>{});
        }
    }
}

}  // namespace
