// The conversation's rules without a line: a device is a function from the
// frame it receives (and how often it has seen it) to its reply, or silence.
// Each table drives the queue to its end and compares what went on the line
// and what every waiter was told.
#include "Choices.h"
#include "Commands.h"
#include "Firmware.h"
#include "Hex.h"
#include "JobQueue.h"
#include "Jobs.h"
#include "SimDevice.h"

#include <gtest/gtest.h>

#include <deque>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace {

ReportEvent Decode(const ByteVector& bytes) { return DecodeReport(LCmd(bytes)); }

// Hands out frames until the queue is idle and returns them in the order
// they went on the line. `answer` gives the device's replies to a frame in
// the order it sends them: a late one comes after its frame's deadline (so
// the frame is sent again), a device server's extra one before the rest;
// none lets the deadline pass.
std::vector<LCmd> Run(JobQueue& q, const std::function<std::vector<sim::Reply>(const LCmd&)>& answer)
{
    std::vector<LCmd> sent;
    std::deque<sim::Reply> line;
    const auto send = [&](const LCmd& f) {
        sent.push_back(f);
        for (sim::Reply& r : answer(f)) {
            line.push_back(std::move(r));
        }
    };
    for (int limit = 2000; limit > 0; --limit) {
        if (q.Paused()) {
            q.EndPause();
        }
        if (const std::optional<JobQueue::Frame> f = q.Next()) {
            send(f->command);
        }
        if (!line.empty() && line.front().lateMs == 0) {
            q.Reply(Decode(line.front().bytes));
            line.pop_front();
            continue;
        }
        if (q.Idle()) {
            return sent;
        }
        if (!line.empty()) {
            line.front().lateMs = 0;  // it arrives, but after the deadline
        }
        JobQueue::Frame again;
        const JobQueue::Late late = q.Deadline(&again);
        if (late == JobQueue::Late::Resend) {
            send(again.command);
        } else if (late == JobQueue::Late::Failed) {
            q.FailAll(q.Error(SessionError::Kind::Silence, QStringLiteral("no answer")));
        }
    }
    ADD_FAILURE() << "the conversation did not come to rest";
    return sent;
}

// A device as a function of the frame it receives and how often it has seen
// it: its reply, or silence.
using Device = std::function<std::optional<ByteVector>(const LCmd& frame, int seen)>;
std::vector<LCmd> Drive(JobQueue& q, const Device& device)
{
    std::map<ByteVector, int> seen;
    return Run(q, [&](const LCmd& f) {
        const std::optional<ByteVector> reply = device(f, seen[f.MakeFrame(frame::kModeFramed)]++);
        return reply ? std::vector<sim::Reply>{{*reply}} : std::vector<sim::Reply>{};
    });
}

// The simulated firmware's own choice of replies.
Device Firmware(sim::Firmware& fw)
{
    return [&fw](const LCmd& frame, int) { return std::optional<ByteVector>(fw.HandleFrame(frame, 0)); };
}

bool IsInquiry(const LCmd& f) { return f.Sub() == sub::kInquiry || f.Sub() == sub::kInquiryDx; }

const ByteVector kAck = sim::Report(sub::kAck);
const ByteVector kBusy = sim::Report(0xE0);
const ByteVector kNoEffect = sim::Report(0xD8);

// A change ends with what the device showed of its item: the reply first,
// else the item's inquiry; a refusal is the device's, busy is asked again.
TEST(JobQueue, AChangeIsJudgedByWhatTheDeviceReportsOfItsItem)
{
    const ByteVector at20 = sim::Report(0xC3, 20, 0x12);
    const ByteVector at30 = sim::Report(0xC3, 30, 0x12);
    const ByteVector level = sim::Report(0xC4, 40, 0x10);
    // replies: to each frame in turn, nullopt for silence.
    const struct { const char* name; std::vector<std::optional<ByteVector>> replies; SessionError::Kind outcome; int frames;
                   const char* text; } cases[] = {
        {"its report shows the value", {at20}, SessionError::Kind::None, 1, ""},
        {"its report shows another", {at30}, SessionError::Kind::Differs, 1, "mic3.gain: the device holds "},
        {"acknowledged, the read-back shows it", {kAck, at20}, SessionError::Kind::None, 2, ""},
        {"acknowledged, the read-back shows another", {kAck, at30}, SessionError::Kind::Differs, 2, "the device holds "},
        {"acknowledged, the read-back shows nothing", {kAck, kNoEffect}, SessionError::Kind::Acknowledged, 2, "acknowledged"},
        {"a level report, then the read-back", {level, at20}, SessionError::Kind::None, 2, ""},
        {"NAK", {sim::Report(sub::kNak)}, SessionError::Kind::Nak, 1, "NAK"},
        {"device error 4", {sim::ErrorReport(4)}, SessionError::Kind::DeviceError, 1, "device error 4"},
        {"busy twice, then its report", {kBusy, kBusy, at20}, SessionError::Kind::None, 3, ""},
        {"busy every time", {kBusy, kBusy, kBusy}, SessionError::Kind::DeviceBusy, 3, "busy"},
        {"unanswered once, then answered", {std::nullopt, at20}, SessionError::Kind::None, 2, ""},
        {"never answered", {std::nullopt, std::nullopt, std::nullopt}, SessionError::Kind::Silence, 3, "no answer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobQueue q(QStringLiteral("p"));
        Told told;
        q.AddChange(MicGain(3, 20), Into(told));
        std::size_t n = 0;
        const std::vector<LCmd> frames = Drive(q, [&](const LCmd&, int) { return n < c.replies.size() ? c.replies[n++] : std::nullopt; });
        EXPECT_EQ(frames.size(), static_cast<std::size_t>(c.frames));
        ASSERT_EQ(told.times, 1) << "a job ends once";
        EXPECT_EQ(told.error.kind, c.outcome) << told.error.text.toStdString();
        EXPECT_NE(told.error.text.toStdString().find(c.text), std::string::npos) << told.error.text.toStdString();
        EXPECT_TRUE(q.Idle());
    }
}

// The full read is complete when every item was reported, whichever
// inquiry drew which report; what is missing is asked for again, then the
// whole read once more, and only then is it an error naming what is missing.
TEST(JobQueue, TheFullReadEndsWhenEveryItemWasReported)
{
    const ByteVector switchOn = sim::Report(0xD7, 2);
    const auto isSwitchOnInquiry = [](const LCmd& f) { return f.Sub() == sub::kInquiryDx && f.Payload() == ByteVector{0x03}; };
    const auto isDx00 = [](const LCmd& f) { return f.Sub() == sub::kInquiryDx && f.Payload() == ByteVector{0x00}; };
    // differ: the firmware's reply unless this gives another, from (frame, times seen, firmware's reply).
    using Differ = std::function<std::optional<ByteVector>(const LCmd&, int, const ByteVector&)>;
    const struct { const char* name; Differ differ; int frames; SessionError::Kind outcome; const char* text; } cases[] = {
        {"the firmware's own answers", nullptr, 49, SessionError::Kind::None, ""},
        {"switch-on reported in answer to another inquiry",
         [&](const LCmd& f, int, const ByteVector& own) { return isSwitchOnInquiry(f) ? kNoEffect : isDx00(f) ? switchOn : own; },
         49, SessionError::Kind::None, ""},
        {"switch-on reported only when asked a second time",
         [&](const LCmd& f, int seen, const ByteVector& own) { return isSwitchOnInquiry(f) && seen == 0 ? kNoEffect : own; },
         50, SessionError::Kind::None, ""},
        {"switch-on never reported",
         [&](const LCmd& f, int, const ByteVector& own) { return isSwitchOnInquiry(f) ? kAck : own; }, 49 + 1 + 49,
         SessionError::Kind::Incomplete, "the device did not report switch_on"},
        {"one busy answer", [&](const LCmd& f, int seen, const ByteVector& own) { return isDx00(f) && seen == 0 ? kBusy : own; },
         50, SessionError::Kind::None, ""},
        {"busy for good: the read ends early", [&](const LCmd&, int, const ByteVector&) { return kBusy; },
         JobQueue::kRefusedInARow * 3, SessionError::Kind::DeviceBusy, "the device is busy"},
        {"every inquiry acknowledged", [&](const LCmd&, int, const ByteVector&) { return kAck; },
         49 + 38 + 49, SessionError::Kind::Incomplete, "line_source"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Firmware fw;
        JobQueue q(QStringLiteral("p"));
        Told told;
        q.AddRead(Into(told));
        const std::vector<LCmd> frames = Drive(q, [&](const LCmd& f, int seen) {
            const ByteVector own = fw.HandleFrame(f, 0);
            return std::optional<ByteVector>(c.differ ? c.differ(f, seen, own) : own);
        });
        EXPECT_EQ(frames.size(), static_cast<std::size_t>(c.frames));
        EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), IsInquiry));
        ASSERT_EQ(told.times, 1);
        EXPECT_EQ(told.error.kind, c.outcome) << told.error.text.toStdString();
        EXPECT_NE(told.error.text.toStdString().find(c.text), std::string::npos) << told.error.text.toStdString();
        EXPECT_EQ(q.State().AllKnown(), c.outcome == SessionError::Kind::None);
        EXPECT_FALSE(q.Reading());
    }
}

// A frame sent again owes one more reply: the late one is absorbed and the
// next job waits for it, so the device's answer to that job is its own.
TEST(JobQueue, AReplyOwedAfterAResendIsNeverTheNextJobsAnswer)
{
    for (const bool lateArrives : {true, false}) {
        SCOPED_TRACE(lateArrives ? "the late reply comes" : "the late reply never comes");
        JobQueue q(QStringLiteral("p"));
        Told first, second;
        q.AddChange(MicGain(3, 20), Into(first));
        ASSERT_TRUE(q.Next());
        JobQueue::Frame again;
        ASSERT_EQ(q.Deadline(&again), JobQueue::Late::Resend);
        EXPECT_EQ(q.Owed(), 2);
        q.Reply(Decode(sim::Report(0xC3, 20, 0x12)));  // the first try's reply, late
        EXPECT_EQ(first.times, 1);
        EXPECT_FALSE(first.error);
        q.AddChange(MicGain(3, 30), Into(second));
        EXPECT_FALSE(q.Next()) << "a reply is still owed";
        if (lateArrives) {
            const JobQueue::Heard h = q.Reply(Decode(sim::Report(0xC3, 20, 0x12)));
            EXPECT_FALSE(h.answered) << "absorbed";
        } else {
            EXPECT_EQ(q.Deadline(nullptr), JobQueue::Late::Given);
        }
        ASSERT_TRUE(q.Next());
        EXPECT_EQ(second.times, 0);
        q.Reply(Decode(sim::Report(0xC3, 30, 0x12)));
        ASSERT_EQ(second.times, 1);
        EXPECT_FALSE(second.error) << second.error.text.toStdString();
        EXPECT_EQ(q.State().gain[kFirstMicIndex + 2], 30);
    }
}

// Every report is applied whatever it answered; a load the device accepted
// leaves nothing known, so a change judged at the head goes out.
TEST(JobQueue, ReportsApplyWhateverTheyAnswerAndALoadForgetsTheState)
{
    sim::Firmware fw;
    JobQueue q(QStringLiteral("p"));
    q.AddRead();
    Drive(q, Firmware(fw));
    ASSERT_TRUE(q.State().AllKnown());
    // A poll answered by a gain report: someone turned a knob.
    q.AddPoll();
    Drive(q, [](const LCmd&, int) { return std::optional<ByteVector>(sim::Report(0xC2, 33, 0x00)); });
    EXPECT_EQ(q.State().gain[0], 33);

    const std::uint8_t held = q.State().gain[kFirstMicIndex + 2];
    Told told;
    q.AddCommand(CM_MCS_SAVELOAD(1, 0));
    q.AddChange(MicGain(3, held), Into(told), true);
    const std::vector<LCmd> frames = Drive(q, [&](const LCmd& f, int) {
        return std::optional<ByteVector>(f.Sub() == sub::kSaveLoad ? kAck : fw.HandleFrame(f, 0));
    });
    ASSERT_EQ(frames.size(), 2u) << "the load, then the change: the value held before the load proves nothing";
    EXPECT_EQ(frames[1].Sub(), sub::kMic);
    EXPECT_FALSE(told.error);
    EXPECT_FALSE(q.State().AllKnown());
}


// The merge rule and its barriers: what reaches the device when jobs are
// asked while the line is busy with the first, and what each waiter hears.
TEST(JobQueue, WaitingChangesMergeOnlyUpToABarrier)
{
    enum Step { Mic3At10, Mic3At20, Mic3At20Judged, Load, Save };
    // steps: asked one after the other while the first is on the line; frames: what the device
    // receives after the first (inquiries left out); inquiries: the read after a load; mic3: the
    // device's microphone 3 at the end.
    const struct { const char* name; std::vector<Step> steps; std::vector<LCmd> frames; int inquiries; std::uint8_t mic3; } cases[] = {
        {"a later value replaces the waiting one", {Mic3At10, Mic3At10, Mic3At20}, {MicGain(3, 20).command}, 0, 20},
        {"an equal change joins the waiting one", {Mic3At10, Mic3At20, Mic3At20}, {MicGain(3, 20).command}, 0, 20},
        {"a save keeps what was asked before it", {Mic3At10, Mic3At10, Save, Mic3At20},
         {MicGain(3, 10).command, CM_MCS_SAVELOAD(1, 1), MicGain(3, 20).command}, 0, 20},
        // Preset 1 holds 40: equal to the live value when asked, but judged
        // after the load, so it is sent.
        {"a change equal to the live value, asked behind a load", {Load, Mic3At20Judged}, {MicGain(3, 20).command}, 49, 20},
        {"a change the device already holds needs no frame", {Mic3At20, Mic3At20Judged}, {}, 0, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::DeviceState start;
        start.live.micGain[2] = 20;
        start.presets[0].micGain[2] = 40;
        sim::Firmware fw(start);
        JobQueue q(QStringLiteral("p"));
        q.AddRead();
        Drive(q, Firmware(fw));
        std::vector<Told> told(c.steps.size());
        std::optional<JobQueue::Frame> first;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step step = c.steps[i];
            if (step == Load || step == Save) {
                q.AddCommand(CM_MCS_SAVELOAD(1, step == Save ? 1 : 0), step == Load, Into(told[i]));
            } else {
                q.AddChange(MicGain(3, step == Mic3At10 ? 10 : 20), Into(told[i]), step == Mic3At20Judged);
            }
            if (i == 0) {
                first = q.Next();  // on the line while the rest are asked
            }
        }
        ASSERT_TRUE(first);
        q.Reply(Decode(fw.HandleFrame(first->command, 0)));
        const std::vector<LCmd> frames = Drive(q, Firmware(fw));
        std::vector<LCmd> sent;
        std::copy_if(frames.begin(), frames.end(), std::back_inserter(sent), [](const LCmd& f) { return !IsInquiry(f); });
        EXPECT_EQ(sent, c.frames);
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(), IsInquiry), c.inquiries);
        for (const Told& t : told) {
            EXPECT_EQ(t.times, 1);
            EXPECT_FALSE(t.error) << t.error.text.toStdString();
        }
        EXPECT_EQ(fw.State().live.micGain[2], c.mic3);
        EXPECT_EQ(q.State().gain[kFirstMicIndex + 2], c.mic3) << "the engine's state follows the device";
    }
}

// The line to a simulated device of any legal kind.
void DriveLine(JobQueue& q, sim::SimDevice& device)
{
    Run(q, [&](const LCmd& f) {
        const ByteVector bytes = f.MakeFrame(frame::kModeFramed);
        return device.Receive(bytes.data(), bytes.size(), 0);
    });
}

// A whole read, which must end once and well.
DeviceState ReadWith(sim::SimDevice& device)
{
    JobQueue q(QStringLiteral("p"));
    Told told;
    q.AddRead(Into(told));
    DriveLine(q, device);
    EXPECT_TRUE(told.times == 1 && !told.error) << told.error.text.toStdString();
    return q.State();
}

// Against every legal way of answering, alone and in 20 random mixes: the
// read gives the device's state, and every change ends as the device did it.
TEST(JobQueue, EveryLegalDeviceIsReadAndChangedAsItIs)
{
    std::vector<std::pair<std::string, sim::Choices>> devices = sim::Choices::Each();
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        devices.emplace_back("random:" + std::to_string(seed), sim::Choices::Random(seed));
    }
    for (const auto& [name, choices] : devices) {
        SCOPED_TRACE(name + " (" + choices.Text() + ")");
        const sim::DeviceState start = sim::DeviceState::Random(choices.seed + 7);
        sim::SimDevice own(start);
        const DeviceState truth = ReadWith(own);
        sim::SimDevice device(start);
        device.SetChoices(choices);
        device.LineOpened();
        EXPECT_EQ(ReadWith(device), truth);

        JobQueue q(QStringLiteral("p"));
        q.AddRead();
        DriveLine(q, device);
        DeviceState target = q.State();
        target.gain[kFirstMicIndex + 2] = static_cast<std::uint8_t>((target.gain[kFirstMicIndex + 2] + 11) % 80);
        target.lineSource = static_cast<std::uint8_t>((target.lineSource + 1) % 5);
        target.mute[0] = !target.mute[0];
        target.ducking[1] = static_cast<std::uint8_t>((target.ducking[1] + 5) % 80);
        target.switchOn = static_cast<std::uint8_t>((target.switchOn + 1) % 4);
        const std::vector<StateChange> changes = ChangesTo(q.State(), target);
        std::vector<Told> told(changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            q.AddChange(changes[i], Into(told[i]));
        }
        DriveLine(q, device);
        for (const Told& t : told) {
            ASSERT_EQ(t.times, 1);
            const bool acknowledged = t.error.kind == SessionError::Kind::Acknowledged;
            EXPECT_TRUE(!t.error) << t.error.text.toStdString();
            // Only a device that answers settings with ACK, and an inquiry
            // with another item's report, leaves a change unshown.
            const bool unshown = choices.inquiries == sim::Choices::Inquiries::Rotated ||
                                 choices.inquiries == sim::Choices::Inquiries::SwitchOnElsewhere;
            EXPECT_TRUE(!acknowledged || (choices.settingsAcked && unshown))
                << t.error.text.toStdString();
        }
        device.SetChoices({});
        EXPECT_EQ(ReadWith(device), target) << "the device holds what every change said";
    }
}

}  // namespace
