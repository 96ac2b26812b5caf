// The engine that owns the line, one table per rule, against the simulated
// device on a pseudo-terminal: which frames reach the device, which answers
// are taken, and what every waiter is told.
#include "Commands.h"
#include "DeviceConversation.h"
#include "Hex.h"
#include "Jobs.h"
#include "KestraSim.h"
#include "LCommProc.h"
#include "Lcomm.h"
#include "WaitFor.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

class Conversation : public ::testing::Test {
protected:
    // The engine opens the port it is given, not the guard's stand-in.
    void SetUp() override
    {
        guard_ = LComm::PortOverride();
        LComm::SetPortOverride({});
        ASSERT_FALSE((path_ = sim_.Start()).empty());
    }
    void TearDown() override { LComm::SetPortOverride(guard_); }

    static DeviceConversation::Options Quiet() { return {.exchangeMs = 300, .pollWhenIdle = false, .readOnOpen = false}; }
    std::unique_ptr<DeviceConversation> Open(const DeviceConversation::Options& o = Quiet())
    {
        auto c = std::make_unique<DeviceConversation>(QString::fromStdString(path_), o);
        c->Open();
        EXPECT_TRUE(WaitFor([&] { return c->IsOpen(); }));
        return c;
    }
    DeviceState Read(DeviceConversation& c)
    {
        Told o;
        c.ReadAll(Into(o));
        EXPECT_TRUE(WaitFor([&] { return o.times > 0; }, 15000));
        EXPECT_FALSE(o.error) << o.error.text.toStdString();
        return c.State();
    }

    sim::KestraSim sim_;
    std::string path_;
    QString guard_;
};

}  // namespace

// The device drives a ganged pair's right output with its left one and
// reports the left only: a change's waiters hear once the engine has read
// what moved with it, and a restore ends with every item as planned.
TEST_F(Conversation, AGangedPairsRightOutputIsReadBackWithItsLeft)
{
    sim::DeviceState start = sim_.State();
    start.live.stereoGain = {0, 10, 20, 30, 30};
    start.live.subGanged = true;
    start.live.stereoMute[4] = true;
    sim_.SetState(start);
    auto c = Open();
    Read(*c);
    const auto apply = [&](const std::vector<StateChange>& changes) {
        for (const StateChange& change : changes) {
            Told o;
            c->Change(change, Into(o));
            ASSERT_TRUE(WaitFor([&] { return o.times > 0; }));
            EXPECT_FALSE(o.error) << o.error.text.toStdString();
        }
    };
    DeviceState to = c->State();
    to.gain[1] = 15;
    to.mute[1] = to.masterGanged = true;
    apply(ChangesTo(c->State(), to));  // each read back before its waiter hears
    EXPECT_EQ(std::tuple(c->State().gain[2], c->State().mute[2], c->State().mute[3]), std::tuple(25, true, true));
    // A file whose right output already matches, but whose left differs.
    to = c->State();
    to.gain[1] = 40;
    to.mute[3] = to.mute[4] = false;
    apply(RestoreChanges(c->State(), to));
    EXPECT_TRUE(Read(*c) == to);
}

// The idle poll goes out only while polling is on, the device online, nothing
// in flight or waiting, the line open: each row breaks one,
// and none leaves polls queued to follow in a burst once it holds again.
TEST_F(Conversation, TheIdlePollWaitsForEachOfItsConditions)
{
    enum class Break { Nothing, PollingOff, NotOnline, InFlight, Closed };
    const std::pair<Break, const char*> rows[] = {
        {Break::Nothing, "all hold"},       {Break::PollingOff, "polling off"},
        {Break::NotOnline, "read refused"}, {Break::InFlight, "a change unanswered"},
        {Break::Closed, "closed"},
    };
    for (const auto& [broken, name] : rows) {
        SCOPED_TRACE(name);
        DeviceConversation::Options o = Quiet();
        o.pollWhenIdle = broken != Break::PollingOff;
        o.readOnOpen = broken == Break::NotOnline;
        o.exchangeMs = 2000;
        sim_.SetFault(broken == Break::NotOnline ? sim::Fault{sim::FaultKind::Busy} : sim::Fault{});
        auto c = Open(o);
        ASSERT_TRUE(WaitFor([&] { return c->Idle(); }, 5000));
        EXPECT_EQ(c->Online(), broken != Break::NotOnline);
        Told change;
        if (broken == Break::InFlight) {
            sim_.SetFault({sim::FaultKind::Silence});
            c->Change(MicGain(3, 10), Into(change));
        } else if (broken == Break::Closed) {
            c->Close();
        }
        const auto polls = [&] {
            const auto frames = sim_.Received();
            return std::count(frames.begin(), frames.end(), LCommProc::PollFrame());
        };
        sim_.ClearReceived();
        QTest::qWait(4 * DeviceConversation::kPollMs);
        EXPECT_EQ(polls() > 0, broken == Break::Nothing) << polls() << " polls";
        EXPECT_EQ(c->Waiting(), 0u) << "polls queued behind, to follow in a burst";
        sim_.SetFault({});
    }
}
