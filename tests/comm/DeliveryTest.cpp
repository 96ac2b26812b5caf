#include "CommFixture.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

using Delivery = CommFixture;

// Keeps replies instead of delivering them, so that a test can deliver a
// reply after the driver that sent it was closed or replaced.
class Recorder : public QObject {
public:
    std::vector<std::unique_ptr<RecCompleteEvent>> kept;
    bool event(QEvent* e) override
    {
        if (e->type() == kRecCompleteEvent) {
            const auto* r = static_cast<RecCompleteEvent*>(e);
            kept.push_back(std::make_unique<RecCompleteEvent>(r->Reply(), r->ReplyTimeMs(), r->DriverId()));
            return true;
        }
        return QObject::event(e);
    }
};

TEST_F(Delivery, RepliesOfAClosedOrReplacedDriverAreDropped)
{
    Recorder recorder;
    auto old = std::make_unique<LCommProc>(&recorder);
    old->SetPollSuspended(true);
    ASSERT_TRUE(old->Open(1, 9600, 8, 0, 0));
    old->Send(Frame('X'), true);
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    ASSERT_TRUE(peer.Write(Ack()));
    ASSERT_TRUE(WaitFor([&] { return recorder.kept.size() == 1; }));
    EXPECT_EQ(recorder.kept[0]->DriverId(), old->Id());

    int handled = 0;
    auto count = [&](const RecCompleteEvent&) { ++handled; };
    old->Close();
    EXPECT_TRUE(DeliverReply(recorder.kept[0].get(), [&] { return old.get(); }, count));
    EXPECT_EQ(handled, 0);

    // A new driver, perhaps at the same address, never takes the old reply.
    old.reset();
    auto fresh = std::make_unique<LCommProc>(&recorder);
    fresh->SetPollSuspended(true);
    ASSERT_TRUE(fresh->Open(1, 9600, 8, 0, 0));
    EXPECT_TRUE(DeliverReply(recorder.kept[0].get(), [&] { return fresh.get(); }, count));
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(DeliverReply(recorder.kept[0].get(), [] { return static_cast<LCommProc*>(nullptr); }, count));
    EXPECT_EQ(handled, 0);

    // Its own reply is handled, and then the driver moves on.
    fresh->Send(Frame('Y'), true);
    fresh->Send(Frame('Z'), true);
    ASSERT_EQ(ReadPeer(8), Frame('Y'));
    ASSERT_TRUE(peer.Write(Ack()));
    ASSERT_TRUE(WaitFor([&] { return recorder.kept.size() == 2; }));
    EXPECT_TRUE(DeliverReply(recorder.kept[1].get(), [&] { return fresh.get(); }, count));
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(ReadPeer(8), Frame('Z'));
}

TEST_F(Delivery, HandlerMayCloseOrDestroyTheDriver)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "close");
        owner.replies.clear();
        LCommProc& d = MakeDriver();
        ASSERT_TRUE(OpenDriver());
        d.Send(Frame('X'), true);
        d.Send(Frame('Z'), true);
        ASSERT_EQ(ReadPeer(8), Frame('X'));
        owner.onReply = [&](const RecCompleteEvent&) {
            if (destroy) {
                driver.reset();
            } else {
                driver->Close();
            }
        };
        ASSERT_TRUE(peer.Write(Ack()));
        ASSERT_TRUE(WaitFor([&] { return !owner.replies.empty(); }));
        owner.onReply = nullptr;
        EXPECT_FALSE(PeerHearsAnything(100));  // Z never went out
        if (!destroy) {
            EXPECT_FALSE(driver->IsOpen());
        }
        EXPECT_TRUE(owner.errors.empty());
    }
}

// What the test does while the driver is in a given state, and how it closes.
enum class State { Idle, Busy, Handling, ModalDialog, ReaderEnded };

void PrintTo(State s, std::ostream* out)
{
    *out << static_cast<int>(s);
}

class CloseInEveryState : public CommFixture, public testing::WithParamInterface<State> {};

TEST_P(CloseInEveryState, ReturnsPromptlyEveryTime)
{
    const State state = GetParam();
    constexpr int kRounds = 15;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        owner.replies.clear();
        owner.errors.clear();
        LCommProc& d = MakeDriver();
        if (state == State::ReaderEnded) {
            d.SetSilenceLimitMs(30);
        }
        ASSERT_TRUE(OpenDriver());
        qint64 closeMs = -1;
        auto timedClose = [&] {
            QElapsedTimer clock;
            clock.start();
            driver->Close();
            closeMs = clock.elapsed();
        };
        switch (state) {
        case State::Idle:
            timedClose();
            break;
        case State::Busy:
            d.Send(Frame('X'), true);
            d.Send(Frame('Y'), false);
            ASSERT_EQ(ReadPeer(8), Frame('X'));
            timedClose();
            EXPECT_EQ(d.QueueLength(), 0u);
            break;
        case State::Handling:
        case State::ModalDialog:
            owner.onReply = [&](const RecCompleteEvent&) {
                if (state == State::Handling) {
                    timedClose();
                    return;
                }
                QDialog box;
                QTimer::singleShot(10, &box, [&] {
                    timedClose();
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
            break;
        case State::ReaderEnded:
            ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
            ASSERT_TRUE(WaitFor([&] { return !d.ReaderRunning(); }));
            timedClose();
            break;
        }
        EXPECT_GE(closeMs, 0);
        EXPECT_LT(closeMs, kPromptMs);
        EXPECT_FALSE(d.IsOpen());
        EXPECT_FALSE(d.ReaderRunning());
        driver.reset();
        WaitFor([] { return false; }, 5);
        // No error 5; the only error is the silence that ended the reader.
        if (state == State::ReaderEnded) {
            EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));
        } else {
            EXPECT_TRUE(owner.errors.empty());
        }
        peer.Read();
        fromLine.clear();
    }
}

std::string StateName(const testing::TestParamInfo<State>& info)
{
    static const char* const names[] = {"Idle", "Busy", "Handling", "ModalDialog", "ReaderEnded"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(States, CloseInEveryState,
                         testing::Values(State::Idle, State::Busy, State::Handling, State::ModalDialog,
                                         State::ReaderEnded),
                         StateName);

}  // namespace
