#include "ReportDecoder.h"

#include "Commands.h"
#include "ItemKeys.h"
#include "Reports.h"

ReportEvent DecodeReport(const LCmd& frame)
{
    ReportEvent e;
    const std::uint8_t s = frame.Sub();
    e.sub = s;
    if (s == sub::kAck || s == sub::kNak) {
        e.kind = s == sub::kAck ? ReportKind::Ack : ReportKind::Nak;
        return e;
    }
    const auto needed = ReportPayloadLength(s);
    if (!needed) {
        e.kind = ReportKind::Unknown;
        return e;
    }
    const ByteVector& p = frame.Payload();
    if (p.size() < *needed) {
        e.kind = ReportKind::Short;
        return e;
    }
    e.value = p.empty() ? 0 : p[0];
    e.channel = p.size() > 1 ? p[1] : 0;
    switch (s) {
    case report::kLineSource:
        e.kind = ReportKind::LineSource;
        break;
    case report::kStereoGain:
        e.kind = channel::IsStereo(e.channel) ? ReportKind::Gain : ReportKind::NoEffect;
        break;
    case report::kMicGain:
        e.kind = channel::IsMic(e.channel) ? ReportKind::Gain : ReportKind::NoEffect;
        break;
    case report::kLevel:
    case report::kLevel2:
        e.kind = ReportKind::Level;
        break;
    case report::kDuckState:
        e.kind = ReportKind::DuckState;
        break;
    case report::kPriority:
        e.kind = ReportKind::Priority;
        break;
    case report::kGanged:
        e.kind = ReportKind::Ganged;
        break;
    case report::kSubLevels:
    case report::kMasterLevels:
        e.kind = ReportKind::PairLevels;
        e.value2 = e.channel;
        e.channel = s == report::kSubLevels ? channel::kSubLeft : channel::kMasterLeft;
        break;
    case report::kMute:
        e.kind = ReportKind::Mute;
        break;
    case report::kThreshold:
    case report::kAttenuation:
    case report::kHoldTime:
    case report::kFadeOut:
    case report::kFadeIn:
        e.kind = ReportKind::DuckSetting;
        e.setting = static_cast<DuckSetting>(s - report::kThreshold);
        break;
    case report::kSwitchOn:
        e.kind = ReportKind::SwitchOn;
        break;
    case report::kBusy:
        e.kind = ReportKind::Busy;
        break;
    case report::kError:
        e.kind = ReportKind::Error;
        break;
    default:
        e.kind = ReportKind::NoEffect;
        break;
    }
    return e;
}

const char* ReportKindName(ReportKind kind)
{
    static constexpr const char* kNames[] = {
        "ack", "nak", "line_source", "gain", "level", "ducking_state", "priority", "ganged", "pair_levels",
        "mute", "ducking_setting", "switch_on", "no_effect", "busy", "error", "unknown", "short",
    };
    return kNames[static_cast<int>(kind)];
}

const char* DuckSettingName(DuckSetting setting)
{
    return kDuckSettingKeys[static_cast<std::size_t>(setting)];
}
