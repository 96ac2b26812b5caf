// Every report layout once: sub byte and payload in, typed event out.
#include "Hex.h"
#include "ReportDecoder.h"

#include <gtest/gtest.h>

namespace {
LCmd Frame(const std::string& subAndPayload)
{
    const std::string length = std::to_string(Hex(subAndPayload).size());
    return LCmd(Hex("10 02 01 " + length + " " + subAndPayload + " 10 03 00"));
}

struct Case {
    const char* bytes;
    ReportKind kind;
    int channel, value, value2 = 0;
    DuckSetting setting = DuckSetting::Threshold;
};

const Case kCases[] = {
    {"01", ReportKind::Ack, 0, 0},
    {"02", ReportKind::Nak, 0, 0},
    {"C1 03", ReportKind::LineSource, 0, 3},
    {"C2 14 04", ReportKind::Gain, 0x04, 20},
    {"C2 14 10", ReportKind::NoEffect, 0x10, 20},  // a microphone in the outputs' report
    {"C3 4F 15", ReportKind::Gain, 0x15, 79},
    {"C3 14 02", ReportKind::NoEffect, 0x02, 20},
    {"C4 0A 10", ReportKind::Level, 0x10, 10},
    {"C5 0A 7F", ReportKind::Level, 0x7F, 10},  // any channel: the device still waits for a poll
    {"C8 03", ReportKind::DuckState, 0, 3},
    {"C9 01 12", ReportKind::Priority, 0x12, 1},
    {"CA 01 02", ReportKind::Ganged, 2, 1},
    {"CC 05 06", ReportKind::PairLevels, 0x01, 5, 6},
    {"CD 07 08", ReportKind::PairLevels, 0x03, 7, 8},
    {"CE 01 00", ReportKind::Mute, 0x00, 1},
    {"D2 33", ReportKind::DuckSetting, 0, 0x33, 0, DuckSetting::Threshold},
    {"D3 14", ReportKind::DuckSetting, 0, 20, 0, DuckSetting::Attenuation},
    {"D4 32", ReportKind::DuckSetting, 0, 50, 0, DuckSetting::HoldTime},
    {"D5 0A", ReportKind::DuckSetting, 0, 10, 0, DuckSetting::FadeOut},
    {"D6 14", ReportKind::DuckSetting, 0, 20, 0, DuckSetting::FadeIn},
    {"D7 02", ReportKind::SwitchOn, 0, 2},
    {"D8", ReportKind::NoEffect, 0, 0},
    {"E0", ReportKind::Busy, 0, 0},
    {"E1 04", ReportKind::Error, 0, 4},
    {"CB 01 01", ReportKind::Unknown, 0, 0},
    {"C2 14", ReportKind::Short, 0, 0},
    {"E1", ReportKind::Short, 0, 0},
};
}  // namespace

TEST(ReportDecoder, EveryLayout)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.bytes);
        const ReportEvent e = DecodeReport(Frame(c.bytes));
        EXPECT_EQ(ReportKindName(e.kind), ReportKindName(c.kind));
        EXPECT_EQ(e.sub, Hex(c.bytes)[0]);
        if (e.kind != ReportKind::Short && e.kind != ReportKind::Unknown) {
            EXPECT_EQ(e.channel, c.channel);
            EXPECT_EQ(e.value, c.value);
            EXPECT_EQ(e.value2, c.value2);
            EXPECT_EQ(e.setting, c.setting);
        }
    }
}
