#include "Reports.h"

#include <cstdio>

std::optional<std::size_t> ReportPayloadLength(std::uint8_t s)
{
    switch (s) {
    case report::kNoEffect:
    case report::kBusy:
        return 0;
    case report::kLineSource:
    case report::kDuckState:
    case report::kThreshold:
    case report::kAttenuation:
    case report::kHoldTime:
    case report::kFadeOut:
    case report::kFadeIn:
    case report::kSwitchOn:
    case report::kError:
        return 1;
    case report::kStereoGain:
    case report::kMicGain:
    case report::kLevel:
    case report::kLevel2:
    case report::kPriority:
    case report::kGanged:
    case report::kSubLevels:
    case report::kMasterLevels:
    case report::kMute:
        return 2;
    default:
        return std::nullopt;
    }
}

bool IsRecognisedReport(std::uint8_t s)
{
    return ReportPayloadLength(s).has_value();
}

std::string UnknownCommandText(std::uint8_t s)
{
    char text[32];
    std::snprintf(text, sizeof text, "unknow command: %02X", static_cast<unsigned>(s));
    return text;
}

std::optional<int> ErrorMessageId(std::uint8_t code)
{
    if (code >= kErrorMessageCount) {
        return std::nullopt;
    }
    return kFirstErrorMessageId + code;
}
