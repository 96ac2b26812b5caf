#include "FullState.h"

#include "Commands.h"

#include <initializer_list>

std::vector<Inquiry> FullStateRead()
{
    std::vector<Inquiry> out;
    out.reserve(49);
    const auto stereo = {channel::kLine, channel::kSubLeft, channel::kSubRight, channel::kMasterLeft,
                         channel::kMasterRight};
    auto ask = [&](LCmd command, ReportKind kind, std::uint8_t channel = 0) {
        out.push_back({std::move(command), kind, channel});
    };
    auto mics = [&](std::uint8_t what, ReportKind kind) {
        for (int n = 1; n <= 6; ++n) {
            ask(CM_MCS_INQUIRY(what, channel::Mic(n)), kind, channel::Mic(n));
        }
    };

    ask(CM_MCS_INQUIRY(0x01, 0x00), ReportKind::LineSource);
    ask(CM_MCS_INQUIRY_DX(0x03), ReportKind::SwitchOn);
    ask(CM_MCS_INQUIRY(0x04), ReportKind::DuckState);
    for (std::uint8_t c : stereo) {
        ask(CM_MCS_INQUIRY(0x02, c), ReportKind::Gain, c);
    }
    mics(0x03, ReportKind::Gain);
    mics(0x05, ReportKind::Priority);
    ask(CM_MCS_INQUIRY(0x06, 0x01), ReportKind::Ganged, 1);
    ask(CM_MCS_INQUIRY(0x06, 0x02), ReportKind::Ganged, 2);
    for (std::uint8_t c : stereo) {
        ask(CM_MCS_INQUIRY(0x07, c), ReportKind::Mute, c);
    }
    mics(0x07, ReportKind::Mute);
    ask(CM_MCS_INQUIRY_DX(0x00), ReportKind::NoEffect);
    for (std::uint8_t i = 0; i <= 3; ++i) {
        ask(CM_MCS_INQUIRY_DX(0x01, i), ReportKind::NoEffect);
    }
    for (int n = 1; n <= 6; ++n) {
        ask(CM_MCS_INQUIRY_DX(0x02, channel::Mic(n)), ReportKind::NoEffect);
    }
    for (std::uint8_t p = 0x04; p <= 0x08; ++p) {
        ask(CM_MCS_INQUIRY_DX(p), ReportKind::DuckSetting);
        out.back().setting = static_cast<DuckSetting>(p - 0x04);
    }
    return out;
}

std::vector<LCmd> FullStateInquiries()
{
    std::vector<LCmd> out;
    for (Inquiry& i : FullStateRead()) {
        out.push_back(std::move(i.command));
    }
    return out;
}

std::vector<Inquiry> PartnerInquiries(int changed, const DeviceState& state)
{
    std::vector<Inquiry> out;
    auto ask = [&out](std::uint8_t what, ReportKind kind, std::uint8_t c) {
        out.push_back({CM_MCS_INQUIRY(what, c), kind, c});
    };
    for (const std::uint8_t left : {channel::kSubLeft, channel::kMasterLeft}) {
        const int index = StateIndexOfChannel(left);
        const bool sub = left == channel::kSubLeft;
        const std::uint8_t right = left + 1;
        if (changed == (sub ? item::kSubGanged : item::kMasterGanged)) {
            if (state.mute[index] != state.mute[index + 1]) {
                ask(0x07, ReportKind::Mute, left);
                ask(0x07, ReportKind::Mute, right);
            }
        } else if (sub ? state.subGanged : state.masterGanged) {
            if (changed == item::Gain(index)) {
                ask(0x02, ReportKind::Gain, right);
            } else if (changed == item::Mute(index)) {
                ask(0x07, ReportKind::Mute, right);
            }
        }
    }
    return out;
}

Inquiry InquiryOf(const LCmd& command)
{
    for (Inquiry& i : FullStateRead()) {
        if (i.command.Sub() == command.Sub() && i.command.Payload() == command.Payload()) {
            return std::move(i);
        }
    }
    return {command, ReportKind::NoEffect};
}

int ItemOfInquiry(const Inquiry& inquiry)
{
    ReportEvent asked;
    asked.kind = inquiry.kind;
    asked.channel = inquiry.channel;
    asked.setting = inquiry.setting;
    return ItemOfReport(asked);
}
