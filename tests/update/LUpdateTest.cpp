// The updater's state machine on its own, against a recording host, for
// what the simulated boot loader never answers.
#include "Commands.h"
#include "Hex.h"
#include "LUpdate.h"
#include "UpdateTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
