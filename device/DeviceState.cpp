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

int ItemOfReport(const ReportEvent& e)
{
    const int i = StateIndexOfChannel(e.channel);
    switch (e.kind) {
    case ReportKind::LineSource:
        return item::kLineSource;
    case ReportKind::Gain:
        return i < 0 ? -1 : item::Gain(i);
    case ReportKind::Mute:
        return i < 0 ? -1 : item::Mute(i);
    case ReportKind::Priority:
        return i < kFirstMicIndex ? -1 : item::Priority(i - kFirstMicIndex);
    case ReportKind::Ganged:
        return e.channel == 1 ? item::kSubGanged : e.channel == 2 ? item::kMasterGanged : -1;
    case ReportKind::DuckState:
        return item::kDuckState;
    case ReportKind::DuckSetting:
        return item::Ducking(static_cast<int>(e.setting));
    case ReportKind::SwitchOn:
        return item::kSwitchOn;
    default:
        return -1;
    }
}

int ItemOfChange(const StateChange& change)
{
    return ItemOfReport(change.expect);
}

std::uint8_t ItemValue(const DeviceState& s, int it)
{
    if (it < item::Mute(0)) {
        return s.gain[it];
    }
    if (it < item::Priority(0)) {
        return s.mute[it - item::Mute(0)];
    }
    if (it < item::kSubGanged) {
        return s.priority[it - item::Priority(0)];
    }
    if (it >= item::Ducking(0) && it < item::kSwitchOn) {
        return s.ducking[it - item::Ducking(0)];
    }
    switch (it) {
    case item::kSubGanged:
        return s.subGanged;
    case item::kMasterGanged:
        return s.masterGanged;
    case item::kLineSource:
        return s.lineSource;
    case item::kDuckState:
        return s.manualDucking;
    default:
        return s.switchOn;
    }
}

namespace {
void SetItemValue(DeviceState& s, int it, std::uint8_t v)
{
    if (it < item::Mute(0)) {
        s.gain[it] = v;
    } else if (it < item::Priority(0)) {
        s.mute[it - item::Mute(0)] = v != 0;
    } else if (it < item::kSubGanged) {
        s.priority[it - item::Priority(0)] = v != 0;
    } else if (it >= item::Ducking(0) && it < item::kSwitchOn) {
        s.ducking[it - item::Ducking(0)] = v;
    } else if (it == item::kSubGanged) {
        s.subGanged = v != 0;
    } else if (it == item::kMasterGanged) {
        s.masterGanged = v != 0;
    } else if (it == item::kLineSource) {
        s.lineSource = v;
    } else if (it == item::kDuckState) {
        s.manualDucking = v != 0;
    } else {
        s.switchOn = v;
    }
}
}  // namespace

std::optional<StateChange> ItemChange(int it, std::uint8_t value)
{
    if (it < 0 || it >= item::kCount) {
        return std::nullopt;
    }
    DeviceState to;
    SetItemValue(to, it, value);
    ItemSet items;
    items.set(static_cast<std::size_t>(it));
    return CommandsFor(to, items).front();
}

int ItemOfCommand(const LCmd& command)
{
    // Every setting carries its value first: the item is the one whose
    // change with that value is this very command.
    if (command.Command() != kControlCommand || command.Payload().empty()) {
        return -1;
    }
    for (int it = 0; it < item::kCount; ++it) {
        if (ItemChange(it, command.Payload()[0])->command == command) {
            return it;
        }
    }
    return -1;
}

std::optional<StateChange> ChangeOf(const LCmd& command)
{
    const int it = ItemOfCommand(command);
    if (it < 0) {
        return std::nullopt;  // no item of the state: the device refuses it, nothing to merge with
    }
    return ItemChange(it, command.Payload()[0]);
}

bool DeviceState::operator==(const DeviceState& o) const
{
    return gain == o.gain && mute == o.mute && priority == o.priority && subGanged == o.subGanged &&
           masterGanged == o.masterGanged && lineSource == o.lineSource && manualDucking == o.manualDucking &&
           duckingActive == o.duckingActive && ducking == o.ducking && switchOn == o.switchOn;
}

bool DeviceState::Apply(const ReportEvent& e)
{
    const int i = StateIndexOfChannel(e.channel);
    // What a level bar shows follows gains and the device's level reports.
    if ((e.kind == ReportKind::Gain || e.kind == ReportKind::Level) && i >= 0) {
        level[i] = e.value;
    } else if (e.kind == ReportKind::PairLevels && (e.channel == 1 || e.channel == 3)) {
        level[e.channel] = e.value;
        level[e.channel + 1] = e.value2;
    }
    const int it = ItemOfReport(e);
    if (it < 0) {
        return false;
    }
    known.set(static_cast<std::size_t>(it));
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

namespace {
// The commands for the items `wanted` picks, in the order a device takes them.
template <class Wanted>
std::vector<StateChange> Commands(const DeviceState& to, Wanted&& wanted)
{
    std::vector<StateChange> out;
    auto add = [&out](LCmd command, ReportEvent expect) { out.push_back({std::move(command), expect}); };
    if (wanted(item::kLineSource)) {
        add(CM_MCS_LINE(to.lineSource), Expect(ReportKind::LineSource, to.lineSource));
    }
    // Pairs are joined or parted before their gains are set.
    if (wanted(item::kSubGanged)) {
        add(CM_MCS_GANGED(to.subGanged, 1), Expect(ReportKind::Ganged, to.subGanged, 1));
    }
    if (wanted(item::kMasterGanged)) {
        add(CM_MCS_GANGED(to.masterGanged, 2), Expect(ReportKind::Ganged, to.masterGanged, 2));
    }
    for (int i = 0; i < kStateChannels; ++i) {
        const std::uint8_t c = ChannelOfStateIndex(i);
        if (wanted(item::Gain(i))) {
            LCmd command = i < kFirstMicIndex ? LCmd(CM_MCS_STEREO(to.gain[i], c)) : LCmd(CM_MCS_MIC(to.gain[i], c));
            add(std::move(command), Expect(ReportKind::Gain, to.gain[i], c));
        }
    }
    for (int i = 0; i < kStateChannels; ++i) {
        const std::uint8_t c = ChannelOfStateIndex(i);
        if (wanted(item::Mute(i))) {
            add(CM_MCS_MUTE(to.mute[i], c), Expect(ReportKind::Mute, to.mute[i], c));
        }
    }
    for (int m = 0; m < kStateMics; ++m) {
        const std::uint8_t c = channel::Mic(m + 1);
        if (wanted(item::Priority(m))) {
            add(CM_MCS_DUCKING(to.priority[m], c), Expect(ReportKind::Priority, to.priority[m], c));
        }
    }
    if (wanted(item::kDuckState)) {
        add(CM_MCS_MANDUCKING(to.manualDucking ? 2 : 0),
            Expect(ReportKind::DuckState, to.manualDucking ? kManualDuckBit : 0));
    }
    for (int k = 0; k < kDuckSettings; ++k) {
        if (wanted(item::Ducking(k))) {
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
    if (wanted(item::kSwitchOn)) {
        add(CM_MCS_SWITCH(to.switchOn), Expect(ReportKind::SwitchOn, to.switchOn));
    }
    return out;
}

// Whether item `it` has another value in `a` than in `b` (ducking.active,
// which speech sets, is no item of its own).
bool Differs(const DeviceState& a, const DeviceState& b, int it)
{
    return ItemValue(a, it) != ItemValue(b, it);
}
}  // namespace

std::vector<StateChange> ChangesTo(const DeviceState& from, const DeviceState& to)
{
    return Commands(to, [&](int it) { return Differs(from, to, it); });
}

std::vector<StateChange> RestoreChanges(const DeviceState& from, const DeviceState& to)
{
    ItemSet items;
    for (int it = 0; it < item::kCount; ++it) {
        items.set(static_cast<std::size_t>(it), Differs(from, to, it));
    }
    for (const std::uint8_t left : {channel::kSubLeft, channel::kMasterLeft}) {
        const int l = StateIndexOfChannel(left);
        const bool sub = left == channel::kSubLeft;
        if (!(sub ? to.subGanged : to.masterGanged)) {
            continue;
        }
        const auto set = [&items](int it) { items.set(static_cast<std::size_t>(it)); };
        // Ganging mutes both sides when either is muted.
        if (items.test(static_cast<std::size_t>(sub ? item::kSubGanged : item::kMasterGanged)) &&
            (from.mute[l] || from.mute[l + 1] || to.mute[l] || to.mute[l + 1])) {
            set(item::Mute(l));
            set(item::Mute(l + 1));
        }
        if (items.test(static_cast<std::size_t>(item::Gain(l)))) {
            set(item::Gain(l + 1));
        }
        if (items.test(static_cast<std::size_t>(item::Mute(l)))) {
            set(item::Mute(l + 1));
        }
    }
    return CommandsFor(to, items);
}

std::vector<StateChange> CommandsFor(const DeviceState& to, const ItemSet& items)
{
    return Commands(to, [&](int it) { return items.test(static_cast<std::size_t>(it)); });
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
