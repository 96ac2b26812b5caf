// Every report's layout, read once: a reply frame becomes a typed event that
// the window's dispatcher and the headless DeviceState both apply.
//
//   sub    payload        event
//   C1     src            LineSource   value = source (0 off, 1..4)
//   C2     pos ch         Gain         line/output channel 00..04 only
//   C3     pos ch         Gain         microphone channel 10..15 only
//   C4/C5  pos ch         Level        any channel byte (the device waits for a poll)
//   C8     state          DuckState    bit 0 active, bit 1 manual
//   C9     flag ch        Priority
//   CA     flag pair      Ganged       channel = pair (1 sub, 2 master)
//   CC/CD  left right     PairLevels   channel = 01 (sub) or 03 (master), value2 = right
//   CE     flag ch        Mute
//   D2..D6 byte           DuckSetting  setting = which; value = the device's byte
//   D7     value          SwitchOn
//   D8     -              NoEffect (also C2/C3 with a channel of the other family)
//   E0     -              Busy
//   E1     code           Error
//   01/02  -              Ack / Nak
//   other                 Unknown; a report shorter than its layout: Short
#pragma once

#include "Lcmd.h"

#include <cstdint>

enum class ReportKind {
    Ack, Nak, LineSource, Gain, Level, DuckState, Priority, Ganged, PairLevels, Mute,
    DuckSetting, SwitchOn, NoEffect, Busy, Error, Unknown, Short,
};

enum class DuckSetting : std::uint8_t { Threshold, Attenuation, HoldTime, FadeOut, FadeIn };

struct ReportEvent {
    ReportKind kind = ReportKind::Unknown;
    std::uint8_t sub = 0;      // the frame's sub byte
    std::uint8_t channel = 0;  // channel byte, pair, or left channel of a pair
    std::uint8_t value = 0;    // position, flag, source, state, setting byte or error code
    std::uint8_t value2 = 0;   // right position of PairLevels
    DuckSetting setting = DuckSetting::Threshold;

    bool operator==(const ReportEvent&) const = default;
};

ReportEvent DecodeReport(const LCmd& frame);

// Short lower-case name of a kind ("gain", "duck_setting", ...), for logs and `watch`.
const char* ReportKindName(ReportKind kind);
const char* DuckSettingName(DuckSetting setting);
