// The updater's state machine on its own: a recording host, and the
// simulator's boot loader as an in-process partner for whole runs.
#include "BootLoader.h"
#include "Commands.h"
#include "Hex.h"
#include "LUpdate.h"
#include "UpdateTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using testing::ElementsAre;
using updatetest::MakeImage;
using updatetest::PageXor;
using updatetest::SetPageXor;

namespace {

// Records everything the updater does, as short lines.
class RecordingHost : public UpdateHost {
public:
    std::vector<std::string> events;
    std::vector<ByteVector> sent;
    std::vector<int> progress;
    std::function<void()> pending;
    bool baudOk = true;

    void SendRaw(const LCmd& command) override
    {
        const ByteVector bytes = command.MakeFrame(frame::kModeRaw);
        sent.push_back(bytes);
        events.push_back("send " + ToHex(bytes));
    }
    void SetStatusText(const std::string& text) override { events.push_back("status " + text); }
    void SetProgress(int position) override
    {
        progress.push_back(position);
        events.push_back("progress " + std::to_string(position));
    }
    bool SetBaudRate(int rate) override
    {
        events.push_back("baud " + std::to_string(rate));
        return baudOk;
    }
    void After(int ms, std::function<void()> action) override
    {
        events.push_back("after " + std::to_string(ms));
        pending = std::move(action);
    }
    void Information(const std::string& text) override { events.push_back("information " + text); }
    void Error(const std::string& text) override { events.push_back("error " + text); }
    void Plain(const std::string& text) override { events.push_back("plain " + text); }
    void Disconnect() override { events.push_back("disconnect"); }
};

class LUpdateTest : public testing::Test {
protected:
    void Make(ByteVector image) { update_ = std::make_unique<LUpdate>(host_, std::move(image)); }
    void SetUp() override { Make(image_); }

    // Events of this one reply only.
    std::vector<std::string> Reply(std::uint8_t reply)
    {
        host_.events.clear();
        update_->OnReply(reply, {});
        return host_.events;
    }
    // From a fresh updater to the point where the header of `page` is out.
    void ToHeaderOf(int page)
    {
        Reply(0x21);
        for (int i = 0; i < 113; ++i) {
            Reply(0xAA);
        }
        for (int p = 0; p < page; ++p) {
            Reply(0xAA);  // header acknowledged: the data block goes out
            Reply(PageXor(image_, p));
        }
        ASSERT_EQ(update_->GetState(), 3);
        ASSERT_EQ(update_->Phase(), 2);
        ASSERT_EQ(ToHex(host_.sent.back()), ToHex(CM_MCS_PROGRAM(0x01, static_cast<std::uint8_t>(page)).MakeFrame(0)));
    }

    ByteVector image_ = MakeImage();
    RecordingHost host_;
    std::unique_ptr<LUpdate> update_;
};

TEST_F(LUpdateTest, StartsWaitingForTheBootLoader)
{
    EXPECT_EQ(update_->GetState(), 0);
    EXPECT_EQ(update_->Page(), 0);
    EXPECT_EQ(update_->Phase(), 0);
    EXPECT_EQ(update_->Checksum(), 0);
}

// Each reply in the state where its rule is decided; the first matching rule
// is the only one carried out.
TEST_F(LUpdateTest, RepliesBeforeProgramming)
{
    struct Case {
        const char* name;
        int state;
        std::uint8_t reply;
        std::vector<std::string> expected;
        int stateAfter;
    };
    const std::vector<Case> cases = {
        {"ready in state 0 starts", 0, 0x21, {"status Start Program", "send 05 55 AA"}, 2},
        {"ready while erasing is not a start", 2, 0x21, {}, 2},
        {"ready after the finish is not a start", 5, 0x21, {}, 5},
        {"done before the boot loader answered disconnects", 0, 0xAA, {"disconnect"}, 0},
        {"done while erasing erases the next page", 2, 0xAA, {"status Page Erase", "send 02 00 55 AA", "progress 1"}, 2},
        {"done in state 4 finishes", 4, 0xAA, {"status Program Finish", "send 06 55 AA"}, 5},
        {"done in state 5 resets the MCU", 5, 0xAA, {"status MCU Reset", "progress 0", "send 04 55 AA"}, 5},
        {"error report waits", 2, 0xE1, {"error Error Recommand !!"}, 2},
        {"error report in state 0 waits", 0, 0xE1, {"error Error Recommand !!"}, 0},
        {"restarted device ends it", 5, 0x04,
         {"status Update OK", "information Update OK , Please ReConnect!!", "disconnect"}, 5},
        {"acknowledgement waits before the speed change", 0, 0x01, {"after 300"}, 0},
        {"anything else is ignored", 2, 0x37, {}, 2},
        {"zero outside programming is ignored", 2, 0x00, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(image_);
        update_->SetState(c.state);
        EXPECT_EQ(Reply(c.reply), c.expected);
        EXPECT_EQ(update_->GetState(), c.stateAfter);
    }
}

TEST_F(LUpdateTest, SpeedChangeAfterTheAcknowledgement)
{
    Reply(0x01);
    ASSERT_TRUE(host_.pending);
    host_.events.clear();
    host_.pending();
    EXPECT_THAT(host_.events, ElementsAre("baud 115200", "send 01"));

    Make(image_);
    host_.baudOk = false;
    Reply(0x01);
    host_.events.clear();
    host_.pending();
    EXPECT_THAT(host_.events, ElementsAre("baud 115200", "plain Error"));
    EXPECT_EQ(update_->GetState(), 0);
}

TEST_F(LUpdateTest, EraseRunsIntoProgramming)
{
    Reply(0x21);
    for (int page = 0; page < 111; ++page) {
        Reply(0xAA);
    }
    EXPECT_EQ(ToHex(host_.sent.back()), "02 6E 55 AA");  // page 110
    EXPECT_EQ(update_->GetState(), 2);

    EXPECT_THAT(Reply(0xAA), ElementsAre("status Page Erase", "send 02 6F 55 AA"));
    EXPECT_EQ(update_->GetState(), 3);
    EXPECT_EQ(update_->Page(), 0);

    EXPECT_THAT(Reply(0xAA), ElementsAre("status Programming0", "send 01 00 55 AA"));
    EXPECT_EQ(update_->Phase(), 2);
    EXPECT_EQ(update_->Checksum(), 0);
}

TEST_F(LUpdateTest, DataBlockThenNextHeader)
{
    ToHeaderOf(0);
    const auto data = Reply(0xAA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0], "status Programming0");
    EXPECT_EQ(data[1], "send " + ToHex(ByteVector(image_.begin(), image_.begin() + 64)));
    EXPECT_EQ(data[2], "progress 1");
    EXPECT_EQ(data[3], "status Programming1");
    EXPECT_EQ(update_->Checksum(), PageXor(image_, 0));

    EXPECT_THAT(Reply(PageXor(image_, 0)), ElementsAre("send 01 01 55 AA"));
}

// A header acknowledged with 0x00 matches the checksum a header leaves (0):
// the same header goes out again and no data block.
TEST_F(LUpdateTest, HeaderAcknowledgedWithZeroRepeatsTheHeader)
{
    ToHeaderOf(3);
    EXPECT_THAT(Reply(0x00), ElementsAre("send 01 03 55 AA"));
    EXPECT_THAT(Reply(0x00), ElementsAre("send 01 03 55 AA"));
    EXPECT_EQ(update_->Page(), 3);
}

// The checksum rule comes before every other: a block whose checksum is
// 0xAA, 0x21, 0x01, 0x04 or 0xE1 is acknowledged by that very byte.
TEST_F(LUpdateTest, ChecksumRuleComesFirst)
{
    for (std::uint8_t special : {0xAA, 0x21, 0x01, 0x04, 0xE1}) {
        SCOPED_TRACE(static_cast<int>(special));
        image_ = MakeImage(special);
        SetPageXor(image_, 2, special);
        Make(image_);
        ToHeaderOf(2);
        Reply(0xAA);  // the data block of page 2
        ASSERT_EQ(update_->Checksum(), special);
        EXPECT_THAT(Reply(special), ElementsAre("send 01 03 55 AA"));
        EXPECT_EQ(update_->GetState(), 3);
    }
}

// A mismatching 0xAA after a data block runs the programming step again,
// which sends the data of the page index now current.
TEST_F(LUpdateTest, MismatchingDoneAfterDataSendsTheNextPagesData)
{
    SetPageXor(image_, 0, 0x11);
    Make(image_);
    ToHeaderOf(0);
    Reply(0xAA);
    const auto events = Reply(0xAA);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1], "send " + ToHex(ByteVector(image_.begin() + 64, image_.begin() + 128)));
    EXPECT_EQ(update_->Page(), 2);
}

// The whole conversation against the simulator's boot loader.
TEST_F(LUpdateTest, WholeRunAgainstTheBootLoader)
{
    sim::BootLoader loader;
    std::deque<std::uint8_t> replies;
    auto feed = [&](const ByteVector& bytes) {
        for (std::uint8_t b : bytes) {
            if (auto r = loader.Feed(b)) {
                replies.push_back(*r);
            }
        }
    };
    feed({0x01});  // what the window sends to start
    std::size_t fed = 0;
    int guard = 0;
    while (!replies.empty() && ++guard < 1000) {
        const std::uint8_t r = replies.front();
        replies.pop_front();
        update_->OnReply(r, {});
        for (; fed < host_.sent.size(); ++fed) {
            feed(host_.sent[fed]);
        }
    }
    EXPECT_TRUE(loader.TakeResetRequest());
    EXPECT_EQ(host_.events.back(), "disconnect");
    EXPECT_EQ(loader.Erases(), 112);
    EXPECT_EQ(loader.Programs(), 112);
    const auto& flash = loader.Memory();
    EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 111 * 64, flash.end(), [](std::uint8_t b) { return b == 0xFF; }));

    // Program start + 112 erases + 112 headers + 112 blocks + finish + reset.
    EXPECT_EQ(host_.sent.size(), 1u + 112u * 3u + 2u);
    // Erasing reports pages 1..111, programming 1..112, the reset 0.
    std::vector<int> expected;
    for (int i = 1; i <= 111; ++i) {
        expected.push_back(i);
    }
    for (int i = 1; i <= 112; ++i) {
        expected.push_back(i);
    }
    expected.push_back(0);
    EXPECT_EQ(host_.progress, expected);
}

TEST_F(LUpdateTest, ShortImageIsPaddedAsErasedFlash)
{
    Make(ByteVector(10, 0x00));
    ToHeaderOf(0);
    Reply(0xAA);
    ByteVector page0(64, 0xFF);
    std::fill(page0.begin(), page0.begin() + 10, 0x00);
    EXPECT_EQ(ToHex(host_.sent.back()), ToHex(page0));
}

}  // namespace
