#include "FrameText.h"

#include "Commands.h"
#include "Mroutine.h"

#include <cstdio>
#include <iterator>

namespace {

std::string Hex(std::uint8_t b)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string OnOff(std::uint8_t flag)
{
    return flag != 0 ? "on" : "off";
}

std::string Source(std::uint8_t source)
{
    static constexpr const char* kNames[] = {"off", "Tuner", "Tape", "CD", "Aux"};
    return source < std::size(kNames) ? kNames[source] : "source " + std::to_string(source);
}

std::string Pair(std::uint8_t pair)
{
    return pair == 1 ? "Sub" : pair == 2 ? "Master" : "pair " + std::to_string(pair);
}

std::string SwitchOn(std::uint8_t value)
{
    return value == 0 ? "switch-on as switched off" : "switch-on preset " + std::to_string(value);
}

std::string DuckSettingText(DuckSetting setting, std::uint8_t value)
{
    static constexpr const char* kNames[] = {"threshold", "attenuation", "hold time", "fade out", "fade in"};
    return std::string("ducking ") + kNames[static_cast<int>(setting)] + " " + std::to_string(value);
}

std::string Gain(std::uint8_t position, std::uint8_t ch)
{
    return ChannelText(ch) + " gain " + PositionText(position);
}

// Inquiry parameters (AF) by number: what the device is asked for.
std::string InquiryText(const ByteVector& p)
{
    const std::uint8_t what = p.empty() ? 0 : p[0];
    const std::uint8_t ch = p.size() > 1 ? p[1] : 0;
    switch (what) {
    case 1: return "ask line source";
    case 2:
    case 3: return "ask " + ChannelText(ch) + " gain";
    case 4: return "ask ducking state";
    case 5: return "ask priority " + ChannelText(ch);
    case 6: return "ask ganged " + Pair(ch);
    case 7: return "ask mute " + ChannelText(ch);
    default: return "inquiry " + Hex(what);
    }
}

std::string InquiryDxText(const ByteVector& p)
{
    const std::uint8_t what = p.empty() ? 0 : p[0];
    if (what == 3) {
        return "ask switch-on";
    }
    if (what >= 4 && what <= 8) {
        static constexpr const char* kNames[] = {"threshold", "attenuation", "hold time", "fade out", "fade in"};
        return std::string("ask ducking ") + kNames[what - 4];
    }
    return "inquiry DX " + Hex(what);
}

// Payload bytes a command's text reads.
std::size_t CommandPayloadLength(std::uint8_t s)
{
    switch (s) {
    case sub::kStereo:
    case sub::kMic:
    case sub::kDucking:
    case sub::kGanged:
    case sub::kSaveLoad:
    case sub::kMute: return 2;
    case sub::kLine:
    case sub::kManDucking:
    case sub::kInquiry:
    case sub::kInquiryDx:
    case sub::kDkMicThd:
    case sub::kDkStRed:
    case sub::kDkHold:
    case sub::kDkFadeOut:
    case sub::kDkFadeIn:
    case sub::kSwitch:
    case sub::kReset: return 1;
    default: return 0;  // unknown: named by its sub byte alone
    }
}

}  // namespace

std::string ChannelText(std::uint8_t c)
{
    static constexpr const char* kStereo[] = {"Line", "Sub left", "Sub right", "Master left", "Master right"};
    if (channel::IsStereo(c)) {
        return kStereo[c];
    }
    if (channel::IsMic(c)) {
        return "MIC " + std::to_string(c - channel::kMic1 + 1);
    }
    return "channel " + Hex(c);
}

std::string ReportText(const ReportEvent& e)
{
    switch (e.kind) {
    case ReportKind::Ack: return "ACK";
    case ReportKind::Nak: return "NAK";
    case ReportKind::LineSource: return "line source " + Source(e.value);
    case ReportKind::Gain: return Gain(e.value, e.channel);
    case ReportKind::Level: return ChannelText(e.channel) + " level " + PositionText(e.value);
    case ReportKind::DuckState:
        return std::string("ducking ") + ((e.value & 0x01) != 0 ? "active" : "idle") + ", manual " +
               OnOff(e.value & 0x02);
    case ReportKind::Priority: return "priority " + ChannelText(e.channel) + " " + OnOff(e.value);
    case ReportKind::Ganged: return "ganged " + Pair(e.channel) + " " + OnOff(e.value);
    case ReportKind::PairLevels:
        return (e.channel == channel::kSubLeft ? std::string("Sub") : std::string("Master")) + " levels " +
               PositionText(e.value) + " " + PositionText(e.value2);
    case ReportKind::Mute: return "mute " + ChannelText(e.channel) + " " + OnOff(e.value);
    case ReportKind::DuckSetting: return DuckSettingText(e.setting, e.value);
    case ReportKind::SwitchOn: return SwitchOn(e.value);
    case ReportKind::NoEffect: return "no effect";
    case ReportKind::Busy: return "device busy";
    case ReportKind::Error: return "device error " + std::to_string(e.value);
    case ReportKind::Short: return "report " + Hex(e.sub) + " too short";
    case ReportKind::Unknown: break;
    }
    return "unknown report " + Hex(e.sub);
}

std::string CommandText(const LCmd& c)
{
    const ByteVector& p = c.Payload();
    const std::uint8_t a = p.empty() ? 0 : p[0];
    const std::uint8_t b = p.size() > 1 ? p[1] : 0;
    if (p.size() < CommandPayloadLength(c.Sub())) {
        return "command " + Hex(c.Sub()) + " too short";
    }
    switch (c.Sub()) {
    case sub::kPoll: return "poll";
    case sub::kIapReset: return "start boot loader";
    case sub::kLine: return "line source " + Source(a);
    case sub::kStereo:
    case sub::kMic: return Gain(a, b);
    case sub::kManDucking: return "manual ducking " + OnOff(a);
    case sub::kDucking: return "priority " + ChannelText(b) + " " + OnOff(a);
    case sub::kGanged: return "ganged " + Pair(b) + " " + OnOff(a);
    case sub::kSaveLoad:
        if (a == 0) {
            return b == 0 ? "load factory set" : "save preset 0";
        }
        return (b == 0 ? "load preset " : "save preset ") + std::to_string(a);
    case sub::kMute: return "mute " + ChannelText(b) + " " + OnOff(a);
    case sub::kInquiry: return InquiryText(p);
    case sub::kInquiryDx: return InquiryDxText(p);
    case sub::kDkMicThd:
    case sub::kDkStRed:
    case sub::kDkHold:
    case sub::kDkFadeOut:
    case sub::kDkFadeIn: return DuckSettingText(static_cast<DuckSetting>(c.Sub() - sub::kDkMicThd), a);
    case sub::kSwitch: return SwitchOn(a);
    case sub::kReset: return "reset presets to factory set";
    default: return "command " + Hex(c.Sub());
    }
}
