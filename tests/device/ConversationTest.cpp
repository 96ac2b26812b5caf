// The engine that owns the line, one table per rule, against the simulated
// device on a pseudo-terminal: which frames reach the device, which answers
// are taken, and what every waiter is told.
#include "Commands.h"
#include "DeviceConversation.h"
#include "Hex.h"
#include "KestraSim.h"
#include "Lcomm.h"
#include "WaitFor.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace {

struct Outcome {
    bool done = false;
    SessionError error;
};

DeviceConversation::Done Into(Outcome& o)
{
    return [&o](const SessionError& e, const ReportEvent&) {
        EXPECT_FALSE(o.done) << "a job ends once";
        o.done = true;
        o.error = e;
    };
}

StateChange MicGain(int mic, std::uint8_t position)
{
    DeviceState to;
    to.gain[kFirstMicIndex + mic - 1] = position;
    ItemSet only;
    only.set(item::Gain(kFirstMicIndex + mic - 1));
    return CommandsFor(to, only).front();
}

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

    static DeviceConversation::Options Quiet()
    {
        DeviceConversation::Options o;
        o.exchangeMs = 300;
        o.pollWhenIdle = false;
        o.readOnOpen = false;
        return o;
    }
    std::unique_ptr<DeviceConversation> Open(DeviceConversation::Options o = Quiet())
    {
        auto c = std::make_unique<DeviceConversation>(QString::fromStdString(path_), o);
        c->Open();
        EXPECT_TRUE(WaitFor([&] { return c->IsOpen(); }));
        return c;
    }
    DeviceState Read(DeviceConversation& c, SessionError* error = nullptr)
    {
        Outcome o;
        c.ReadAll(Into(o));
        EXPECT_TRUE(WaitFor([&] { return o.done; }, 15000));
        if (error != nullptr) {
            *error = o.error;
        } else {
            EXPECT_FALSE(o.error) << o.error.text.toStdString();
        }
        return c.State();
    }

    sim::KestraSim sim_;
    std::string path_;
    QString guard_;
};

// The merge rule and its barriers: what reaches the device when jobs are
// asked while the line is busy with the first, and what each waiter hears.
TEST_F(Conversation, WaitingChangesMergeOnlyUpToABarrier)
{
    enum Step { Mic3At10, Mic3At20, Mic3At20Judged, Load, Save };
    const struct {
        const char* name;
        std::vector<Step> steps;  // asked one after the other while the first is on the line
        std::vector<LCmd> frames;  // what the device receives after the first (inquiries left out)
        int inquiries;             // whole-state reads after a load
        std::uint8_t mic3;         // the device's microphone 3 at the end
    } cases[] = {
        {"a later value replaces the waiting one", {Mic3At10, Mic3At10, Mic3At20}, {MicGain(3, 20).command}, 0, 20},
        {"an equal change joins the waiting one", {Mic3At10, Mic3At20, Mic3At20}, {MicGain(3, 20).command}, 0, 20},
        {"a save keeps what was asked before it", {Mic3At10, Mic3At10, Save, Mic3At20},
         {MicGain(3, 10).command, CM_MCS_SAVELOAD(1, 1), MicGain(3, 20).command}, 0, 20},
        // Preset 1 holds 40 (below): equal to the live value when asked, but
        // judged after the load, so it is sent.
        {"a change equal to the live value, asked behind a load", {Load, Mic3At20Judged},
         {MicGain(3, 20).command}, 49, 20},
        {"a change the device already holds needs no frame", {Mic3At20, Mic3At20Judged}, {}, 0, 20},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        sim::DeviceState start = sim_.State();
        start.live.micGain[2] = 20;
        start.presets[0].micGain[2] = 40;
        sim_.SetState(start);
        auto c = Open();
        sim_.ClearReceived();
        Read(*c);
        // The ducking-state report of the read draws a poll 100 ms later: the
        // first step below must find the line free.
        ASSERT_TRUE(WaitFor([&] { return sim_.ReceivedCount() > 49 && c->Idle(); }));
        sim_.ClearReceived();
        std::vector<Outcome> outcomes(k.steps.size());
        for (std::size_t i = 0; i < k.steps.size(); ++i) {
            switch (k.steps[i]) {
            case Mic3At10:
                c->Change(MicGain(3, 10), Into(outcomes[i]));
                break;
            case Mic3At20:
            case Mic3At20Judged:
                c->Change(MicGain(3, 20), Into(outcomes[i]), k.steps[i] == Mic3At20Judged);
                break;
            case Load:
            case Save:
                c->Command(CM_MCS_SAVELOAD(1, k.steps[i] == Save ? 1 : 0), k.steps[i] == Load, Into(outcomes[i]));
                break;
            }
        }
        ASSERT_TRUE(WaitFor([&] { return std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.done; }); }));
        for (const Outcome& o : outcomes) {
            EXPECT_FALSE(o.error) << o.error.text.toStdString();
        }
        std::vector<std::string> got;
        int inquiries = 0;
        const std::vector<ByteVector> received = sim_.Received();
        for (std::size_t i = 1; i < received.size(); ++i) {  // the first held the line
            if (LCmd(received[i]).Sub() == sub::kInquiry || LCmd(received[i]).Sub() == sub::kInquiryDx) {
                ++inquiries;
            } else if (LCmd(received[i]).Sub() != sub::kPoll) {
                got.push_back(ToHex(received[i]));
            }
        }
        std::vector<std::string> want;
        for (const LCmd& f : k.frames) {
            want.push_back(ToHex(f.MakeFrame(frame::kModeFramed)));
        }
        EXPECT_EQ(got, want);
        EXPECT_EQ(inquiries, k.inquiries);
        EXPECT_EQ(sim_.State().live.micGain[2], k.mic3);
        EXPECT_EQ(c->State().gain[kFirstMicIndex + 2], k.mic3) << "the engine's state follows the device";
    }
}

// Opening a network port that does not answer happens on the reader thread:
// the thread that asked keeps running its events.
TEST_F(Conversation, OpeningNeverBlocksTheCallersThread)
{
    QTcpServer silent;  // accepts, then never says a word of RFC 2217
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    DeviceConversation::Options o = Quiet();
    DeviceConversation c(QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort()), o);
    const StallMeter meter;
    c.Open();
    bool failed = false;
    QObject::connect(&c, &DeviceConversation::openFailed, [&] { failed = true; });
    WaitFor([&] { return failed && meter.ElapsedMs() > 3500; }, 6000);
    EXPECT_TRUE(failed) << "the silent server's refusal arrives as an event";
    // An open on this thread stalled it for the server's whole answer time
    // (3 s); a loaded machine alone may hold it up for a tenth of that.
    EXPECT_LT(meter.LongestMs(), 1000) << "the caller's thread stalled";
    c.Close();
}

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
            Outcome o;
            c->Change(change, Into(o));
            ASSERT_TRUE(WaitFor([&] { return o.done; }));
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

// A firmware update takes the line: whatever was asked ends now, with a
// reason, instead of waiting for ever behind the update.
TEST_F(Conversation, TakingTheLineEndsWhatWasAsked)
{
    auto c = Open();
    sim_.SetFault({sim::FaultKind::Silence});
    Outcome inFlight;
    Outcome waiting;
    c->Change(MicGain(3, 10), Into(inFlight));
    c->Change(MicGain(4, 10), Into(waiting));
    ASSERT_TRUE(WaitFor([&] { return sim_.ReceivedCount() >= 1; }));
    ASSERT_NE(c->TakeOver([](const ByteVector&) {}, [](int) {}), nullptr);
    EXPECT_TRUE(inFlight.done && waiting.done);
    EXPECT_NE(inFlight.error.text.toStdString().find("firmware update"), std::string::npos);
    EXPECT_TRUE(c->Idle());
    sim_.SetFault({});
    c->Release();
}
