#include "DeviceState.h"

#include "Commands.h"

namespace {
constexpr std::uint8_t kDuckSettingCommand[kDuckSettings] = {sub::kDkMicThd, sub::kDkStRed, sub::kDkHold,
                                                             sub::kDkFadeOut, sub::kDkFadeIn};
constexpr std::uint8_t kDuckSettingReport = 0xD2;
constexpr std::uint8_t kManualDuckBit = 0x02;
constexpr std::uint8_t kActiveDuckBit = 0x01;

ReportEvent Expect(ReportKind kind, std::uint8_t value, std::uint8_t channel = 0)
{
    ReportEvent e;
    e.kind = kind;
    e.value = value;
    e.channel = channel;
    return e;
}
}  // namespace

int StateIndexOfChannel(std::uint8_t c)
{
    if (channel::IsStereo(c)) {
        return c;
    }
    if (channel::IsMic(c)) {
        return kFirstMicIndex + (c - channel::kMic1);
    }
    return -1;
}

std::uint8_t ChannelOfStateIndex(int index)
{
    return index < kFirstMicIndex ? static_cast<std::uint8_t>(index)
                                  : static_cast<std::uint8_t>(channel::kMic1 + index - kFirstMicIndex);
}

const char* StateChannelName(int index)
{
    static constexpr const char* kNames[kStateChannels] = {"line", "sub_left", "sub_right", "master_left",
                                                           "master_right", "mic1", "mic2", "mic3",
                                                           "mic4", "mic5", "mic6"};
    return index >= 0 && index < kStateChannels ? kNames[index] : "";
}

bool DeviceState::Apply(const ReportEvent& e)
{
    const int i = StateIndexOfChannel(e.channel);
    switch (e.kind) {
    case ReportKind::LineSource:
        lineSource = e.value;
        return true;
    case ReportKind::Gain:
        if (i < 0) {
            return false;
        }
        gain[i] = e.value;
        return true;
    case ReportKind::Mute:
        if (i < 0) {
            return false;
        }
        mute[i] = e.value != 0;
        return true;
    case ReportKind::Priority:
        if (i < kFirstMicIndex) {
            return false;
        }
        priority[i - kFirstMicIndex] = e.value == 1;
        return true;
    case ReportKind::Ganged:
        if (e.channel != 1 && e.channel != 2) {
            return false;
        }
        (e.channel == 1 ? subGanged : masterGanged) = e.value != 0;
        return true;
    case ReportKind::DuckState:
        duckingActive = (e.value & kActiveDuckBit) != 0;
        manualDucking = (e.value & kManualDuckBit) != 0;
        return true;
    case ReportKind::DuckSetting:
        ducking[static_cast<int>(e.setting)] = e.value;
        return true;
    case ReportKind::SwitchOn:
        switchOn = e.value & 3;
        return true;
    default:
        return false;
    }
}

std::vector<StateChange> ChangesTo(const DeviceState& from, const DeviceState& to)
{
    std::vector<StateChange> out;
    auto add = [&out](LCmd command, ReportEvent expect) { out.push_back({std::move(command), expect}); };
    if (from.lineSource != to.lineSource) {
        add(CM_MCS_LINE(to.lineSource), Expect(ReportKind::LineSource, to.lineSource));
    }
    // Pairs are joined or parted before their gains are set.
    if (from.subGanged != to.subGanged) {
        add(CM_MCS_GANGED(to.subGanged, 1), Expect(ReportKind::Ganged, to.subGanged, 1));
    }
    if (from.masterGanged != to.masterGanged) {
        add(CM_MCS_GANGED(to.masterGanged, 2), Expect(ReportKind::Ganged, to.masterGanged, 2));
    }
    for (int i = 0; i < kStateChannels; ++i) {
        const std::uint8_t c = ChannelOfStateIndex(i);
        if (from.gain[i] != to.gain[i]) {
            LCmd command = i < kFirstMicIndex ? LCmd(CM_MCS_STEREO(to.gain[i], c)) : LCmd(CM_MCS_MIC(to.gain[i], c));
            add(std::move(command), Expect(ReportKind::Gain, to.gain[i], c));
        }
    }
    for (int i = 0; i < kStateChannels; ++i) {
        const std::uint8_t c = ChannelOfStateIndex(i);
        if (from.mute[i] != to.mute[i]) {
            add(CM_MCS_MUTE(to.mute[i], c), Expect(ReportKind::Mute, to.mute[i], c));
        }
    }
    for (int m = 0; m < kStateMics; ++m) {
        const std::uint8_t c = channel::Mic(m + 1);
        if (from.priority[m] != to.priority[m]) {
            add(CM_MCS_DUCKING(to.priority[m], c), Expect(ReportKind::Priority, to.priority[m], c));
        }
    }
    if (from.manualDucking != to.manualDucking) {
        add(CM_MCS_MANDUCKING(to.manualDucking ? 2 : 0),
            Expect(ReportKind::DuckState, to.manualDucking ? kManualDuckBit : 0));
    }
    for (int k = 0; k < kDuckSettings; ++k) {
        if (from.ducking[k] != to.ducking[k]) {
            class Setting : public FramedCommand {
            public:
                Setting(std::uint8_t s, std::uint8_t v) : FramedCommand(s, v) {}
            };
            ReportEvent expect = Expect(ReportKind::DuckSetting, to.ducking[k]);
            expect.setting = static_cast<DuckSetting>(k);
            expect.sub = static_cast<std::uint8_t>(kDuckSettingReport + k);
            add(Setting(kDuckSettingCommand[k], to.ducking[k]), expect);
        }
    }
    if (from.switchOn != to.switchOn) {
        add(CM_MCS_SWITCH(to.switchOn), Expect(ReportKind::SwitchOn, to.switchOn));
    }
    return out;
}

bool Confirms(const StateChange& change, const ReportEvent& reply)
{
    const ReportEvent& x = change.expect;
    if (reply.kind != x.kind) {
        return false;
    }
    switch (x.kind) {
    case ReportKind::DuckState:  // the active bit follows speech, not the command
        return (reply.value & kManualDuckBit) == x.value;
    case ReportKind::DuckSetting:
        return reply.setting == x.setting && reply.value == x.value;
    case ReportKind::LineSource:
    case ReportKind::SwitchOn:
        return reply.value == x.value;
    case ReportKind::Priority:
        return reply.channel == x.channel && (reply.value == 1) == (x.value == 1);
    default:
        return reply.channel == x.channel && reply.value == x.value;
    }
}
