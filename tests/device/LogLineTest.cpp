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

}  // namespace
