// The simulator's other legal answers: each still gives one reply per frame
// and, over a full read, a report of every item the device holds.
#include "ReportDecoder.h"
#include "SimDevice.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

using sim::Choices;

namespace {

// What the panel learns from the replies, item by item (sub byte, channel).
struct Seen {
    sim::DeviceState state;
    std::map<std::pair<int, int>, int> items;
    int acks = 0, busy = 0, late = 0, replies = 0;

    void Apply(const sim::Reply& reply)
    {
        ++replies;
        late += reply.lateMs > 0;
        const ReportEvent e = DecodeReport(LCmd(reply.bytes));
        sim::Settings& s = state.live;
        const int mic = e.channel - 0x10;
        switch (e.kind) {
        case ReportKind::Ack: ++acks; return;
        case ReportKind::Busy: ++busy; return;
        case ReportKind::LineSource: s.lineSource = e.value; break;
        case ReportKind::Gain: (mic >= 0 ? s.micGain[mic] : s.stereoGain[e.channel]) = e.value; break;
        case ReportKind::DuckState: s.manualDucking = e.value & 2; break;
        case ReportKind::Priority: s.priority[mic] = e.value; break;
        case ReportKind::Ganged: (e.channel == 1 ? s.subGanged : s.masterGanged) = e.value; break;
        case ReportKind::Mute: (mic >= 0 ? s.micMute[mic] : s.stereoMute[e.channel]) = e.value; break;
        case ReportKind::SwitchOn: state.switchOn = e.value & 3; break;
        case ReportKind::DuckSetting: {
            std::uint8_t sim::Settings::*const fields[] = {&sim::Settings::threshold, &sim::Settings::attenuation,
                &sim::Settings::holdTime, &sim::Settings::fadeOut, &sim::Settings::fadeIn};
            s.*fields[static_cast<int>(e.setting)] = e.value;
            break;
        }
        default: return;
        }
        ++items[{e.sub, e.channel}];
    }
};

// Frames in one at a time, 10 ms apart on the device's clock `t`, a refused
// one asked again as the panel would; every frame must draw exactly one
// reply (the first two when a held reply is `held`).
Seen Exchange(sim::SimDevice& device, const std::vector<ByteVector>& frames, std::int64_t& t, bool held = false)
{
    Seen seen;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto replies = device.Receive(frames[i].data(), frames[i].size(), t += 10);
        EXPECT_EQ(replies.size(), std::exchange(held, false) ? 2u : 1u) << "frame " << i << ": " << ToHex(frames[i]);
        const int busy = seen.busy;
        for (const auto& r : replies) {
            seen.Apply(r);
        }
        i -= seen.busy > busy;
    }
    return seen;
}

TEST(Choices, EachAnswersOneReplyPerFrameAndAReadReportsEveryItem)
{
    auto rows = Choices::Each();
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        rows.emplace_back("random:" + std::to_string(seed), Choices::Random(seed));
    }
    const std::vector<ByteVector> settings = {Framed("A1 03"), Framed("A2 21 04"), Framed("A3 0A 12"),
        Framed("A8 02"), Framed("A9 00 15"), Framed("AA 01 02"), Framed("AE 01 02"), Framed("B2 7F"),
        Framed("B3 4F"), Framed("B4 64"), Framed("B5 3F"), Framed("B6 00"), Framed("B7 02"), Framed("B3 50")};
    for (const auto& [name, choices] : rows) {
        SCOPED_TRACE(name + " = " + choices.Text());
        sim::DeviceState start = sim::DeviceState::Random(11);
        start.live.manualDucking = false;  // no level reports waiting for polls
        sim::SimDevice device(start);
        device.SetChoices(choices);
        std::int64_t t = 0;
        const Seen read = Exchange(device, sim::FullReadInquiries(), t, choices.holdsEarlierReply);
        EXPECT_EQ(read.items.size(), 38u) << "items reported";
        EXPECT_EQ(read.state.live, start.live);
        EXPECT_EQ(read.state.switchOn, start.switchOn);
        const int frames = sim::kFullReadInquiries + read.busy;
        EXPECT_EQ(read.busy, choices.busyEvery ? frames / choices.busyEvery : 0);
        EXPECT_EQ(read.late, choices.lateEvery ? frames / choices.lateEvery : 0);
        EXPECT_EQ(read.acks, (choices.inquiries == Choices::Inquiries::AckForNothing ? 11 : 0)
                                 + (choices.holdsEarlierReply && choices.seed % 2 == 0));

        // Idle polls: ACK, or with polls-any-report every item in turn.
        const Seen polls = Exchange(device, std::vector<ByteVector>(sim::kFullReadInquiries, Framed("05")), t);
        EXPECT_EQ(polls.items.size(), choices.pollsAnyReport ? 38u : 0u);
        EXPECT_EQ(polls.acks, choices.pollsAnyReport ? 0 : polls.replies - polls.busy);
        EXPECT_TRUE(!choices.pollsAnyReport || polls.state.live == start.live);

        // Every setting is carried out as by the own table; only its reply may differ.
        sim::SimDevice own(start);
        std::int64_t ownClock = 0;
        Exchange(own, settings, ownClock);
        device.Device().SetState(start);
        EXPECT_EQ(Exchange(device, settings, t).acks, choices.settingsAcked ? 13 : 0);
        EXPECT_EQ(device.Device().State(), own.Device().State());
    }
}

// Held replies (after the first byte, a quiet second, an opening; ACK and
// the line's level in turn) and busy turns, which carry nothing out.
TEST(Choices, HeldRepliesAndBusyTurns)
{
    sim::SimDevice device;
    device.SetChoices(*Choices::Parse("held-reply,busy=3"));
    const struct { std::int64_t t; bool open; const char* body; const char* replies; int source; } steps[] = {
        {0, false, "AF 01 00", "01|C1 01", 1}, {999, false, "A1 03", "C1 03", 3},
        {1999, false, "A1 04", "C4 0A 00|E0", 3}, {2100, true, "A1 04", "01|C1 04", 4},
        {2200, false, "AB 00 00", "01", 1}, {2300, false, "A1 02", "E0", 1},
    };
    for (const auto& s : steps) {
        s.open ? device.LineOpened() : void();
        const ByteVector frame = Framed(s.body);
        std::string got;
        for (const auto& r : device.Receive(frame.data(), frame.size(), s.t)) {
            got += (got.empty() ? "" : "|") + ToHex(ByteVector(r.bytes.begin() + 4, r.bytes.end() - 3));
        }
        EXPECT_EQ(got, s.replies) << s.t;
        EXPECT_EQ(device.Device().State().live.lineSource, s.source) << s.t;
    }
}

// Text both ways; random mixes reproducible, legal and covering every choice.
TEST(Choices, TextRoundTripsRandomMixesAreLegalBadTextIsRefused)
{
    const Choices mix{.inquiries = Choices::Inquiries::Rotated, .rotation = 3, .settingsAcked = true,
                      .busyEvery = 5, .lateEvery = 7, .lateMs = 1500, .seed = 12};
    EXPECT_EQ(Choices::Parse("rotated=3,settings-acked,busy,late,seed=12"), mix);
    EXPECT_EQ(Choices::Parse("own"), Choices{});
    EXPECT_EQ(Choices::Parse("random:9"), Choices::Random(9));
    auto all = Choices::Each();
    all.emplace_back("mix", mix);
    std::map<std::string, int> drawn;
    for (std::uint32_t seed = 0; seed < 100; ++seed) {
        const Choices c = Choices::Random(seed);
        EXPECT_EQ(c, Choices::Random(seed));
        EXPECT_TRUE((c.busyEvery == 0 || c.busyEvery >= 3) && (c.lateEvery == 0 || (c.lateEvery >= 20 && c.lateMs >= 1500)))
            << c.Text();
        all.emplace_back("random", c);
        std::istringstream items(c.Text());
        for (std::string item; std::getline(items, item, ',');) {
            ++drawn[item.substr(0, item.find('='))];
        }
    }
    for (const auto& [name, c] : all) {
        EXPECT_EQ(Choices::Parse(c.Text()), c) << name << ": " << c.Text();
    }
    for (const auto& [name, single] : Choices::Each()) {
        EXPECT_TRUE(name == "own" || drawn[name] > 0) << name << " never drawn";
    }
    for (const char* bad : {"", "rotated,", "rotated=0", "rotated=49", "own,ack-for-nothing", "busy=1", "busy=x",
                            "late=0", "late=3:0", "late=3:", "settings-acked=1", "own=2", "loud", "random:", "seed="}) {
        std::string why;
        EXPECT_FALSE(Choices::Parse(bad, &why)) << bad;
        EXPECT_FALSE(why.empty() || why.find('\n') != std::string::npos) << bad << ": " << why;
    }
}

}  // namespace
