#include "Commands.h"
#include "FullState.h"
#include "Hex.h"
#include "LogLine.h"

#include <gtest/gtest.h>

namespace {

struct LineCase {
    const char* name;
    const char* frame;  // as received or as built
    Direction direction;
    quint32 replyTime;
    const char* line;   // nullptr: not logged
};

class LogLines : public testing::TestWithParam<LineCase> {};

TEST_P(LogLines, Format)
{
    const auto& c = GetParam();
    const auto line = LogLine(LCmd(Hex(c.frame)), c.direction, c.replyTime);
    if (c.line == nullptr) {
        EXPECT_FALSE(line.has_value());
    } else {
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->toStdString(), c.line);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, LogLines,
    testing::Values(
        LineCase{"sent_mic", "10 02 01 03 A3 0A 10 10 03 BA", Direction::Sent, 0, "-> [A3] 0A 10"},
        LineCase{"received_gain", "10 02 01 03 C3 21 12 10 03 E1", Direction::Received, 35, "<- [C3] 21 12(35)"},
        LineCase{"received_no_payload", "10 02 01 01 E0 10 03 E1", Direction::Received, 0, "<- [E0](0)"},
        LineCase{"unrecognised_logged", "10 02 01 03 CB 02 01 10 03 00", Direction::Received, 7, "<- [CB] 02 01(7)"},
        LineCase{"clamped_time_prints_minus_one", "10 02 01 02 C1 01 10 03 00", Direction::Received, 0xFFFFFFFFu,
                 "<- [C1] 01(-1)"},
        LineCase{"ack_never", "10 02 01 01 01 10 03 00", Direction::Received, 5, nullptr},
        LineCase{"poll_never_sent", "10 02 01 01 05 10 03 04", Direction::Sent, 0, nullptr},
        LineCase{"poll_never_received", "10 02 01 01 05 10 03 04", Direction::Received, 3, nullptr},
        LineCase{"nak_is_logged", "10 02 01 01 02 10 03 00", Direction::Received, 4, "<- [02](4)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FullState, FortyNineInquiriesInTheirOrder)
{
    const char* expected[] = {
        "AF 01 00", "BF 03", "AF 04",
        "AF 02 00", "AF 02 01", "AF 02 02", "AF 02 03", "AF 02 04",
        "AF 03 10", "AF 03 11", "AF 03 12", "AF 03 13", "AF 03 14", "AF 03 15",
        "AF 05 10", "AF 05 11", "AF 05 12", "AF 05 13", "AF 05 14", "AF 05 15",
        "AF 06 01", "AF 06 02",
        "AF 07 00", "AF 07 01", "AF 07 02", "AF 07 03", "AF 07 04",
        "AF 07 10", "AF 07 11", "AF 07 12", "AF 07 13", "AF 07 14", "AF 07 15",
        "BF 00",
        "BF 01 00", "BF 01 01", "BF 01 02", "BF 01 03",
        "BF 02 10", "BF 02 11", "BF 02 12", "BF 02 13", "BF 02 14", "BF 02 15",
        "BF 04", "BF 05", "BF 06", "BF 07", "BF 08"};
    const auto inquiries = FullStateInquiries();
    ASSERT_EQ(inquiries.size(), std::size(expected));
    for (std::size_t i = 0; i < inquiries.size(); ++i) {
        ByteVector subAndPayload{inquiries[i].Sub()};
        subAndPayload.insert(subAndPayload.end(), inquiries[i].Payload().begin(), inquiries[i].Payload().end());
        EXPECT_EQ(ToHex(subAndPayload), expected[i]) << "inquiry " << i + 1;
        EXPECT_EQ(inquiries[i].Command(), 0x01);
    }
    EXPECT_EQ(ToHex(inquiries.front().MakeFrame(1)), "10 02 01 03 AF 01 00 10 03 AD");
}

}  // namespace
