// Every report layout once: sub byte and payload in, typed event out.
#include "Hex.h"
#include "ReportDecoder.h"

#include <gtest/gtest.h>

TEST(ReportDecoder, EveryLayout)
{
    using K = ReportKind;
    using D = DuckSetting;
    const struct {
        const char* bytes; K kind; int channel, value, value2 = 0; D setting = D::Threshold;
    } cases[] = {
        {"01", K::Ack, 0, 0}, {"02", K::Nak, 0, 0}, {"E0", K::Busy, 0, 0}, {"E1 04", K::Error, 0, 4},
        {"C1 03", K::LineSource, 0, 3}, {"C2 14 04", K::Gain, 0x04, 20}, {"C3 4F 15", K::Gain, 0x15, 79},
        // A microphone in the outputs' report and an output in the microphones'.
        {"C2 14 10", K::NoEffect, 0x10, 20}, {"C3 14 02", K::NoEffect, 0x02, 20},
        // Levels of any channel: the device still waits for a poll.
        {"C4 0A 10", K::Level, 0x10, 10}, {"C5 0A 7F", K::Level, 0x7F, 10},
        {"C8 03", K::DuckState, 0, 3}, {"C9 01 12", K::Priority, 0x12, 1}, {"CA 01 02", K::Ganged, 2, 1},
        {"CC 05 06", K::PairLevels, 0x01, 5, 6}, {"CD 07 08", K::PairLevels, 0x03, 7, 8},
        {"CE 01 00", K::Mute, 0x00, 1}, {"D7 02", K::SwitchOn, 0, 2}, {"D8", K::NoEffect, 0, 0},
        {"D2 33", K::DuckSetting, 0, 0x33, 0, D::Threshold}, {"D3 14", K::DuckSetting, 0, 20, 0, D::Attenuation},
        {"D4 32", K::DuckSetting, 0, 50, 0, D::HoldTime}, {"D5 0A", K::DuckSetting, 0, 10, 0, D::FadeOut},
        {"D6 14", K::DuckSetting, 0, 20, 0, D::FadeIn},
        {"CB 01 01", K::Unknown, 0, 0}, {"C2 14", K::Short, 0, 0}, {"E1", K::Short, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string length = std::to_string(Hex(c.bytes).size());
        const ReportEvent e = DecodeReport(LCmd(Hex("10 02 01 " + length + " " + c.bytes + " 10 03 00")));
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
