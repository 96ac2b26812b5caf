// Every report layout once: sub byte and payload in, the typed event the
// window applies and the words the traffic log shows out.
#include "FrameText.h"
#include "Hex.h"
#include "ReportDecoder.h"

#include <gtest/gtest.h>

TEST(ReportDecoder, EveryLayoutToEventAndText)
{
    using K = ReportKind;
    using D = DuckSetting;
    const struct { const char* bytes; const char* text; K kind; int channel, value, value2 = 0; D setting = D::Threshold; } cases[] = {
        {"01", "ACK", K::Ack, 0, 0},
        {"02", "NAK", K::Nak, 0, 0},
        {"E0", "device busy", K::Busy, 0, 0},
        {"E1 03", "device error 3", K::Error, 0, 3},
        {"C1 03", "line source CD", K::LineSource, 0, 3},
        {"C2 0A 00", "Line gain -5dB", K::Gain, 0x00, 10},
        {"C3 21 12", "MIC 3 gain -17dB", K::Gain, 0x12, 33},
        {"C3 4F 15", "MIC 6 gain mute", K::Gain, 0x15, 79},
        // A microphone in the outputs' report and an output in the microphones'.
        {"C2 14 10", "no effect", K::NoEffect, 0x10, 20},
        {"C3 14 02", "no effect", K::NoEffect, 0x02, 20},
        // Levels of any channel: the device still waits for a poll.
        {"C4 0A 10", "MIC 1 level -5dB", K::Level, 0x10, 10},
        {"C5 0A 7F", "channel 7F level -5dB", K::Level, 0x7F, 10},
        {"C8 03", "ducking active, manual on", K::DuckState, 0, 3},
        {"C9 00 11", "priority MIC 2 off", K::Priority, 0x11, 0},
        {"CA 00 02", "ganged Master off", K::Ganged, 2, 0},
        {"CC 05 06", "Sub levels -2.5dB -3dB", K::PairLevels, 0x01, 5, 6},
        {"CD 07 08", "Master levels -3.5dB -4dB", K::PairLevels, 0x03, 7, 8},
        {"CE 01 01", "mute Sub left on", K::Mute, 0x01, 1},
        {"D7 02", "switch-on preset 2", K::SwitchOn, 0, 2},
        {"D8", "no effect", K::NoEffect, 0, 0},
        {"D2 33", "ducking threshold 51", K::DuckSetting, 0, 0x33, 0, D::Threshold},
        {"D3 14", "ducking attenuation 20", K::DuckSetting, 0, 20, 0, D::Attenuation},
        {"D4 32", "ducking hold time 50", K::DuckSetting, 0, 50, 0, D::HoldTime},
        {"D5 0A", "ducking fade out 10", K::DuckSetting, 0, 10, 0, D::FadeOut},
        {"D6 14", "ducking fade in 20", K::DuckSetting, 0, 20, 0, D::FadeIn},
        {"CB 01 01", "unknown report CB", K::Unknown, 0, 0},
        {"C2 14", "report C2 too short", K::Short, 0, 0},
        {"E1", "report E1 too short", K::Short, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const ReportEvent e = DecodeReport(Parsed(c.bytes));
        EXPECT_EQ(ReportKindName(e.kind), ReportKindName(c.kind));
        EXPECT_EQ(e.sub, Hex(c.bytes)[0]);
        EXPECT_EQ(ReportText(e), c.text);
        if (e.kind != ReportKind::Short && e.kind != ReportKind::Unknown) {
            EXPECT_EQ(e.channel, c.channel);
            EXPECT_EQ(e.value, c.value);
            EXPECT_EQ(e.value2, c.value2);
            EXPECT_EQ(e.setting, c.setting);
        }
    }
}
