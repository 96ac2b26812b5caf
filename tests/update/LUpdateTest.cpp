// The updater's state machine on its own: a recording host, and the
// simulator's boot loader as an in-process partner for a whole run.
#include "BootLoader.h"
#include "Commands.h"
#include "Hex.h"
#include "LUpdate.h"
#include "UpdateProgress.h"
#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

using updatetest::MakeImage;
using updatetest::PageXor;

namespace {

// Records everything the updater does, as short lines.
class RecordingHost : public UpdateHost {
public:
    std::vector<std::string> events;
    std::vector<ByteVector> sent;
    std::function<void()> pending;
    bool baudOk = true;

    void SendRaw(const LCmd& c) override { sent.push_back(c.MakeFrame(frame::kModeRaw)); Log("send ", ToHex(sent.back())); }
    void SetStatusText(const std::string& text) override { Log("status ", text); }
    void SetProgress(int position) override { Log("progress ", std::to_string(position)); }
    bool SetBaudRate(int rate) override { return Log("baud ", std::to_string(rate)), baudOk; }
    void After(int ms, std::function<void()> action) override { pending = std::move(action); Log("after ", std::to_string(ms)); }
    void Information(const std::string& text) override { Log("information ", text); }
    void Error(const std::string& text) override { Log("error ", text); }
    void Plain(const std::string& text) override { Log("plain ", text); }
    void Disconnect() override { Log("disconnect", ""); }
    void Log(const char* what, const std::string& text) { events.push_back(what + text); }
};

class LUpdateTest : public testing::Test {
protected:
    void Make(ByteVector image) { update_ = std::make_unique<LUpdate>(host_, std::move(image)); }
    void SetUp() override { Make(image_); }
    // The events of this one reply, joined.
    std::string Reply(std::uint8_t reply)
    {
        host_.events.clear();
        update_->OnReply(reply, {});
        std::string out;
        for (const auto& e : host_.events) {
            out += (out.empty() ? "" : ", ") + e;
        }
        return out;
    }
    // From a fresh updater to the point where the header of `page` is out.
    void ToHeaderOf(int page)
    {
        Reply(0x21);
        for (int i = 0; i < 113 + 2 * page; ++i) {
            Reply(i < 113 || i % 2 == 1 ? 0xAA : PageXor(image_, (i - 113) / 2));
        }
        ASSERT_EQ(ToHex(host_.sent.back()), ToHex(CM_MCS_PROGRAM(0x01, static_cast<std::uint8_t>(page)).MakeFrame(0)));
    }

    ByteVector image_ = MakeImage();
    RecordingHost host_;
    std::unique_ptr<LUpdate> update_;
};

// Each reply in the state where its rule is decided; the first matching rule
// is the only one carried out.
TEST_F(LUpdateTest, RepliesOutsideProgramming)
{
    const struct { int state; std::uint8_t reply; const char* events; int stateAfter; } cases[] = {
        {0, 0x21, "status Start Program, send 05 55 AA", 2},
        {2, 0x21, "", 2},  // a ready byte is a start only while waiting
        {0, 0xAA, "disconnect", 0},  // done before the boot loader answered
        {2, 0xAA, "status Page Erase, send 02 00 55 AA, progress 1", 2},
        {4, 0xAA, "status Program Finish, send 06 55 AA", 5},
        {5, 0xAA, "status MCU Reset, progress 0, send 04 55 AA", 5},
        {2, 0xE1, "error Error Recommand !!", 2},
        {5, 0x04, "status Update OK, information Update OK , Please ReConnect!!, disconnect", 5},
        {0, 0x01, "after 300", 0},  // the reset acknowledged: wait before the speed change
        {2, 0x37, "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.state) + " " + std::to_string(c.reply));
        Make(image_);
        update_->SetState(c.state);
        EXPECT_EQ(Reply(c.reply), c.events);
        EXPECT_EQ(update_->GetState(), c.stateAfter);
    }
    for (const bool baudOk : {true, false}) {
        Make(image_);
        host_.baudOk = baudOk;
        Reply(0x01);
        host_.events.clear();
        ASSERT_TRUE(host_.pending);
        host_.pending();
        EXPECT_EQ(host_.events, (std::vector<std::string>{"baud 115200", baudOk ? "send 01" : "plain Error"}));
    }
}

TEST_F(LUpdateTest, ProgrammingStepByStep)
{
    ToHeaderOf(0);
    EXPECT_EQ(Reply(0xAA), "status Programming0, send " + ToHex(ByteVector(image_.begin(), image_.begin() + 64)) +
                               ", progress 1, status Programming1");
    EXPECT_EQ(update_->Checksum(), PageXor(image_, 0));
    EXPECT_EQ(Reply(PageXor(image_, 0)), "send 01 01 55 AA");
    // A header acknowledged with 0x00 matches the checksum a header leaves:
    // the same header again, no data block.
    EXPECT_EQ(Reply(0x00), "send 01 01 55 AA");
    EXPECT_EQ(update_->Page(), 1);
    // A mismatching 0xAA after a data block runs the step again, which sends
    // the data of the page index now current.
    image_ = MakeImage(5);
    updatetest::SetPageXor(image_, 0, 0x11);
    Make(image_);
    ToHeaderOf(0);
    Reply(0xAA);
    EXPECT_NE(Reply(0xAA).find("send " + ToHex(ByteVector(image_.begin() + 64, image_.begin() + 128))), std::string::npos);
    EXPECT_EQ(update_->Page(), 2);
}

// The checksum rule comes before every other: a block whose checksum is a
// reply byte with a meaning of its own is acknowledged by that very byte.
TEST_F(LUpdateTest, ChecksumRuleComesFirst)
{
    for (std::uint8_t special : {0xAA, 0x21, 0x01, 0x04, 0xE1}) {
        SCOPED_TRACE(static_cast<int>(special));
        image_ = MakeImage(special);
        updatetest::SetPageXor(image_, 2, special);
        Make(image_);
        ToHeaderOf(2);
        Reply(0xAA);  // the data block of page 2
        EXPECT_EQ(Reply(special), "send 01 03 55 AA");
        EXPECT_EQ(update_->GetState(), 3);
    }
}

// A whole run against the simulator's boot loader, for the progress it
// reports (the window tests land the image in the simulated flash).
TEST_F(LUpdateTest, WholeRunReportsErasingThenProgramming)
{
    sim::BootLoader loader;
    std::deque<std::uint8_t> replies;
    std::size_t fed = 0;
    auto feed = [&](const ByteVector& bytes) {
        for (std::uint8_t b : bytes) {
            if (auto r = loader.Feed(b)) {
                replies.push_back(*r);
            }
        }
    };
    feed({0x01});  // what the window sends to start
    for (int guard = 0; !replies.empty() && guard < 1000; ++guard) {  // each reply, then what it sent
        update_->OnReply(replies.front(), {});
        replies.pop_front();
        for (; fed < host_.sent.size(); ++fed) {
            feed(host_.sent[fed]);
        }
    }
    EXPECT_EQ(host_.events.back(), "disconnect");
    // Erasing reports pages 1..111, programming 1..112, the reset 0.
    std::vector<std::string> progress, expected;
    std::copy_if(host_.events.begin(), host_.events.end(), std::back_inserter(progress),
                 [](const std::string& e) { return e.starts_with("progress "); });
    for (int i = 1; i <= 224; ++i) {
        expected.push_back("progress " + std::to_string(i <= 111 ? i : i < 224 ? i - 111 : 0));
    }
    EXPECT_EQ(progress, expected);

    // As shown: one bar that never goes back and ends full, the page apart from the step.
    UpdateProgress shown;
    int last = 0;
    std::set<std::string> texts;
    for (const std::string& e : host_.events) {
        if (e.starts_with("progress ")) {
            shown.Position(std::stoi(e.substr(9)));
        } else if (e.starts_with("status ")) {
            shown.Status(e.substr(7));
        }
        EXPECT_GE(shown.Percent(), last) << e;
        last = shown.Percent();
        texts.insert(shown.Text());
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(shown.Text(), "Update OK");
    for (const char* text : {"Erasing page 111 of 112", "Programming page 52 of 112", "Programming page 112 of 112"}) {
        EXPECT_EQ(texts.count(text), 1u) << text;
    }
}

}  // namespace
