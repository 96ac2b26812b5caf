// Replies reach the owner's thread by posted events: only the driver that
// sent one handles it, and closing never waits on a reply being handled.
#include "CommFixture.h"

#include <QDialog>
#include <QTimer>

namespace {

using Delivery = CommFixture;

// Keeps replies instead of delivering them, so that a test can deliver a
// reply after the driver that sent it was closed or replaced.
class Recorder : public QObject {
public:
    std::vector<std::unique_ptr<RecCompleteEvent>> kept;
    bool event(QEvent* e) override
    {
        if (e->type() != kRecCompleteEvent) {
            return QObject::event(e);
        }
        const auto* r = static_cast<RecCompleteEvent*>(e);
        kept.push_back(std::make_unique<RecCompleteEvent>(r->Reply(), r->ReplyTimeMs(), r->DriverId()));
        return true;
    }
};

TEST_F(Delivery, RepliesOfAClosedOrReplacedDriverAreDropped)
{
    Recorder recorder;
    int handled = 0;
    auto deliver = [&](std::size_t i, LCommProc* current) {
        EXPECT_TRUE(DeliverReply(recorder.kept.at(i).get(), [=] { return current; }, [&](auto&) { ++handled; }));
    };
    auto open = [&] {
        auto d = std::make_unique<LCommProc>(&recorder);
        d->SetPollSuspended(true);
        EXPECT_TRUE(d->Open(1, 9600, 8, 0, 0));
        return d;
    };
    auto answer = [&](std::uint8_t sub, std::size_t kept) {
        ASSERT_EQ(ReadPeer(8), Frame(sub));
        ASSERT_TRUE(peer.Write(Ack()));
        ASSERT_TRUE(WaitFor([&] { return recorder.kept.size() == kept; }));
    };
    auto old = open();
    old->Send(Frame('X'), true);
    answer('X', 1);
    EXPECT_EQ(recorder.kept[0]->DriverId(), old->Id());
    old->Close();
    deliver(0, old.get());
    // A new driver, perhaps at the same address, never takes the old reply.
    old.reset();
    auto fresh = open();
    deliver(0, fresh.get());
    deliver(0, nullptr);
    EXPECT_EQ(handled, 0);
    // Its own reply is handled, and only then does the next frame go out.
    fresh->Send(Frame('Y'), true);
    fresh->Send(Frame('Z'), true);
    answer('Y', 2);
    EXPECT_FALSE(PeerHearsAnything(50));
    deliver(1, fresh.get());
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(ReadPeer(8), Frame('Z'));
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
