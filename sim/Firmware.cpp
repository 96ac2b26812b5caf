#include "Firmware.h"

#include "Commands.h"
#include "Reports.h"

#include <algorithm>

namespace sim {

namespace {

class ReplyFrame : public LCmd {
public:
    explicit ReplyFrame(std::uint8_t sub) : LCmd(kControlCommand, sub) {}
    ReplyFrame& Add(std::uint8_t b)
    {
        Append(b);
        return *this;
    }
};

constexpr int kDuckKey = 0;
constexpr int kLineKey = 1;
constexpr int kMicKey = 2;

// The full read, as sub byte and payload; `size` payload bytes count.
struct ReadItem {
    std::uint8_t sub;
    std::uint8_t size;
    std::uint8_t p0;
    std::uint8_t p1;
};
constexpr std::array<ReadItem, kFullReadInquiries> kFullRead = [] {
    std::array<ReadItem, kFullReadInquiries> r{};
    std::size_t i = 0;
    auto add = [&](std::uint8_t s, std::uint8_t size, std::uint8_t p0, std::uint8_t p1 = 0) { r[i++] = {s, size, p0, p1}; };
    add(sub::kInquiry, 2, 0x01, 0x00);
    add(sub::kInquiryDx, 1, 0x03);
    add(sub::kInquiry, 1, 0x04);
    for (std::uint8_t ch = 0; ch <= 4; ++ch) add(sub::kInquiry, 2, 0x02, ch);
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) add(sub::kInquiry, 2, 0x03, ch);
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) add(sub::kInquiry, 2, 0x05, ch);
    for (std::uint8_t pair = 1; pair <= 2; ++pair) add(sub::kInquiry, 2, 0x06, pair);
    for (std::uint8_t ch = 0; ch <= 4; ++ch) add(sub::kInquiry, 2, 0x07, ch);
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) add(sub::kInquiry, 2, 0x07, ch);
    add(sub::kInquiryDx, 1, 0x00);
    for (std::uint8_t x = 0; x <= 3; ++x) add(sub::kInquiryDx, 2, 0x01, x);
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) add(sub::kInquiryDx, 2, 0x02, ch);
    for (std::uint8_t p = 0x04; p <= 0x08; ++p) add(sub::kInquiryDx, 1, p);
    return r;
}();

ByteVector Body(const ReadItem& item)
{
    return item.size == 1 ? ByteVector{item.p0} : ByteVector{item.p0, item.p1};
}

// Where a received inquiry stands in the full read; -1 when it is none of them.
int ReadIndex(std::uint8_t s, const ByteVector& p)
{
    for (std::size_t i = 0; i < kFullRead.size(); ++i) {
        const ReadItem& r = kFullRead[i];
        if (r.sub == s && p.size() == r.size && p[0] == r.p0 && (r.size == 1 || p[1] == r.p1)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::uint8_t SubOf(const ByteVector& reply) { return reply.size() > 4 ? reply[4] : 0; }

int StereoIndex(std::uint8_t ch) { return channel::IsStereo(ch) ? ch : -1; }
int MicIndex(std::uint8_t ch) { return channel::IsMic(ch) ? ch - channel::kMic1 : -1; }

}  // namespace

ByteVector Report(std::uint8_t sub) { return ReplyFrame(sub).MakeFrame(frame::kModeFramed); }
ByteVector Report(std::uint8_t sub, std::uint8_t b0) { return ReplyFrame(sub).Add(b0).MakeFrame(frame::kModeFramed); }
ByteVector Report(std::uint8_t sub, std::uint8_t b0, std::uint8_t b1)
{
    return ReplyFrame(sub).Add(b0).Add(b1).MakeFrame(frame::kModeFramed);
}
ByteVector ErrorReport(std::uint8_t code) { return Report(report::kError, code); }

std::vector<ByteVector> FullReadInquiries()
{
    std::vector<ByteVector> frames;
    for (const ReadItem& item : kFullRead) {
        ReplyFrame f(item.sub);
        for (auto b : Body(item)) {
            f.Add(b);
        }
        frames.push_back(f.MakeFrame(frame::kModeFramed));
    }
    return frames;
}

Firmware::Firmware(DeviceState state) : state_(state) { TakeGangOffsets(); }

void Firmware::SetState(const DeviceState& state)
{
    state_ = state;
    TakeGangOffsets();
    Changed();
}

void Firmware::TakeGangOffsets()
{
    const auto& g = state_.live.stereoGain;
    gangOffset_ = {g[channel::kSubLeft] - g[channel::kSubRight], g[channel::kMasterLeft] - g[channel::kMasterRight]};
}

void Firmware::FollowLeft(std::uint8_t ch, bool gain)
{
    Settings& live = state_.live;
    const bool sub = ch == channel::kSubLeft;
    if (!(sub ? live.subGanged : ch == channel::kMasterLeft && live.masterGanged)) {
        return;
    }
    const int right = ch + 1;
    if (gain) {
        const int target = live.stereoGain[ch] - gangOffset_[sub ? 0 : 1];
        live.stereoGain[right] = static_cast<std::uint8_t>(std::clamp(target, 0, int(kMaxGain)));
    } else {
        live.stereoMute[right] = live.stereoMute[ch];
    }
}

bool Firmware::TakeBootLoaderRequest()
{
    const bool r = bootLoaderRequest_;
    bootLoaderRequest_ = false;
    return r;
}

ByteVector Firmware::HandleFrame(const LCmd& frame, std::int64_t nowMs)
{
    Advance(nowMs);
    if (frame.Command() != kControlCommand) {
        return ErrorReport(kErrorUnknownRequest);
    }
    switch (frame.Sub()) {
    case sub::kPoll:
        return Poll();
    case sub::kIapReset:
        bootLoaderRequest_ = true;
        return Report(sub::kAck);
    case sub::kInquiry:
    case sub::kInquiryDx:
        return ChosenInquiry(frame);
    default: {
        ByteVector reply = Setting(frame);
        if (choices_.settingsAcked && SubOf(reply) != report::kError) {
            reply = Report(sub::kAck);
        }
        return reply;
    }
    }
}

void Firmware::SetChoices(const Choices& choices)
{
    choices_ = choices;
    nextItem_ = static_cast<int>(choices.seed % kFullReadInquiries);
}

ByteVector Firmware::ChosenInquiry(const LCmd& frame) const
{
    const std::uint8_t s = frame.Sub();
    const ByteVector& p = frame.Payload();
    const int index = ReadIndex(s, p);
    switch (choices_.inquiries) {
    case Choices::Inquiries::Own:
        break;
    case Choices::Inquiries::Rotated:
        if (index >= 0) {
            const int rotation = ((choices_.rotation % kFullReadInquiries) + kFullReadInquiries) % kFullReadInquiries;
            const ReadItem& other = kFullRead[static_cast<std::size_t>((index + rotation) % kFullReadInquiries)];
            return OwnInquiry(other.sub, Body(other));
        }
        break;
    case Choices::Inquiries::SwitchOnElsewhere:
        if (s == sub::kInquiryDx && p.size() == 1 && (p[0] == 0x00 || p[0] == 0x03)) {
            return p[0] == 0x00 ? Report(report::kSwitchOn, state_.switchOn) : Report(report::kNoEffect);
        }
        break;
    case Choices::Inquiries::AckForNothing: {
        ByteVector reply = OwnInquiry(s, p);
        return SubOf(reply) == report::kNoEffect ? Report(sub::kAck) : reply;
    }
    }
    return OwnInquiry(s, p);
}

ByteVector Firmware::OwnInquiry(std::uint8_t s, const ByteVector& p) const
{
    return s == sub::kInquiry ? Inquiry(p) : InquiryDx(p);
}

ByteVector Firmware::NextItemReport()
{
    // Items only: the full read's D8 answers report nothing.
    for (int tries = 0; tries < kFullReadInquiries; ++tries) {
        const ReadItem& item = kFullRead[static_cast<std::size_t>(nextItem_)];
        nextItem_ = (nextItem_ + 1) % kFullReadInquiries;
        ByteVector reply = OwnInquiry(item.sub, Body(item));
        if (SubOf(reply) != report::kNoEffect) {
            return reply;
        }
    }
    return Report(sub::kAck);
}

ByteVector Firmware::LineLevelReport() const
{
    const int level = std::min<int>(kMaxGain, state_.live.stereoGain[channel::kLine] + depth_);
    return Report(report::kLevel, static_cast<std::uint8_t>(level), channel::kLine);
}

ByteVector Firmware::Setting(const LCmd& frame)
{
    const ByteVector& p = frame.Payload();
    const std::uint8_t s = frame.Sub();
    auto needs = [&p](std::size_t n) { return p.size() >= n; };
    const ByteVector invalid = ErrorReport(kErrorInvalidData);
    Settings& live = state_.live;

    // One-byte settings with a range, answered by the report 0x20 above.
    struct Range {
        std::uint8_t sub;
        std::uint8_t lo, hi;
        std::uint8_t Settings::*field;
    };
    static constexpr Range kRanges[] = {
        {sub::kDkMicThd, kMinThreshold, kMaxThreshold, &Settings::threshold},
        {sub::kDkStRed, 0, kMaxAttenuation, &Settings::attenuation},
        {sub::kDkHold, kMinHold, kMaxHold, &Settings::holdTime},
        {sub::kDkFadeOut, 0, kMaxFade, &Settings::fadeOut},
        {sub::kDkFadeIn, 0, kMaxFade, &Settings::fadeIn},
        {sub::kLine, 0, kMaxLineSource, &Settings::lineSource},
    };
    for (const auto& r : kRanges) {
        if (s != r.sub) {
            continue;
        }
        if (!needs(1) || p[0] < r.lo || p[0] > r.hi) {
            return invalid;
        }
        live.*r.field = p[0];
        Changed();
        if (s == sub::kDkStRed) {
            QueueLevels();  // the ducked levels follow a new attenuation
        }
        return Report(static_cast<std::uint8_t>(s + 0x20), p[0]);
    }

    switch (s) {
    case sub::kStereo: {
        if (!needs(2) || p[0] > kMaxGain || StereoIndex(p[1]) < 0) {
            return invalid;
        }
        live.stereoGain[p[1]] = p[0];
        if (p[1] == channel::kSubLeft || p[1] == channel::kMasterLeft) {
            FollowLeft(p[1], true);
        } else {
            TakeGangOffsets();
        }
        Changed();
        RequeueDuckedLevels();
        return Report(report::kStereoGain, p[0], p[1]);
    }
    case sub::kMic: {
        if (!needs(2) || p[0] > kMaxGain || MicIndex(p[1]) < 0) {
            return invalid;
        }
        live.micGain[MicIndex(p[1])] = p[0];
        Changed();
        RequeueDuckedLevels();
        return Report(report::kMicGain, p[0], p[1]);
    }
    case sub::kManDucking: {
        if (!needs(1) || (p[0] != 0 && p[0] != 2)) {
            return invalid;
        }
        live.manualDucking = p[0] == 2;
        Changed();
        return Report(report::kDuckState, DuckStateByte());
    }
    case sub::kDucking: {
        if (!needs(2) || p[0] > 1 || MicIndex(p[1]) < 0) {
            return invalid;
        }
        live.priority[MicIndex(p[1])] = p[0] == 1;
        Changed();
        RequeueDuckedLevels();
        return Report(report::kPriority, p[0], p[1]);
    }
    case sub::kGanged: {
        if (!needs(2) || p[0] > 1 || (p[1] != 1 && p[1] != 2)) {
            return invalid;
        }
        const std::uint8_t left = p[1] == 1 ? channel::kSubLeft : channel::kMasterLeft;
        (p[1] == 1 ? live.subGanged : live.masterGanged) = p[0] == 1;
        if (p[0] == 1) {
            const bool muted = live.stereoMute[left] || live.stereoMute[left + 1];
            live.stereoMute[left] = live.stereoMute[left + 1] = muted;
            TakeGangOffsets();
        } else {
            live.stereoMute[left + 1] = live.stereoMute[left];
        }
        Changed();
        return Report(report::kGanged, p[0], p[1]);
    }
    case sub::kMute: {
        if (!needs(2) || p[0] > 1) {
            return invalid;
        }
        if (StereoIndex(p[1]) >= 0) {
            live.stereoMute[p[1]] = p[0] == 1;
            if (p[1] == channel::kSubLeft || p[1] == channel::kMasterLeft) {
                FollowLeft(p[1], false);
            }
        } else if (MicIndex(p[1]) >= 0) {
            live.micMute[MicIndex(p[1])] = p[0] == 1;
        } else {
            return invalid;
        }
        Changed();
        RequeueDuckedLevels();
        return Report(report::kMute, p[0], p[1]);
    }
    case sub::kSaveLoad: {
        if (!needs(2) || p[0] > kPresets || p[1] > 1) {
            return invalid;
        }
        if (p[1] == 0) {
            live = p[0] == 0 ? Settings::Factory() : state_.presets[p[0] - 1];
            TakeGangOffsets();
        } else if (p[0] == 0) {
            return invalid;  // the factory set cannot be overwritten
        } else {
            state_.presets[p[0] - 1] = live;
        }
        Changed();
        return Report(sub::kAck);
    }
    case sub::kSwitch: {
        if (!needs(1) || p[0] > kMaxSwitchOn) {
            return invalid;
        }
        state_.switchOn = p[0];
        Changed();
        return Report(report::kSwitchOn, p[0]);
    }
    case sub::kReset: {
        if (!needs(1)) {
            return invalid;
        }
        state_.presets.fill(Settings::Factory());
        state_.switchOn = 0;
        Changed();
        return Report(sub::kAck);
    }
    default:
        return ErrorReport(kErrorUnknownRequest);
    }
}

ByteVector Firmware::Inquiry(const ByteVector& p) const
{
    if (p.empty()) {
        return ErrorReport(kErrorInvalidData);
    }
    const Settings& live = state_.live;
    const std::uint8_t param = p[0];
    if (param == 0x01) {
        return Report(report::kLineSource, live.lineSource);
    }
    if (param == 0x04) {
        return Report(report::kDuckState, DuckStateByte());
    }
    if (param < 0x02 || param > 0x07) {
        return ErrorReport(kErrorUnknownRequest);
    }
    if (p.size() < 2) {
        return ErrorReport(kErrorInvalidData);
    }
    const std::uint8_t ch = p[1];
    const int st = StereoIndex(ch);
    const int mic = MicIndex(ch);
    switch (param) {
    case 0x02:
        if (st >= 0) {
            return Report(report::kStereoGain, live.stereoGain[st], ch);
        }
        break;
    case 0x03:
        if (mic >= 0) {
            return Report(report::kMicGain, live.micGain[mic], ch);
        }
        break;
    case 0x05:
        if (mic >= 0) {
            return Report(report::kPriority, live.priority[mic] ? 1 : 0, ch);
        }
        break;
    case 0x06:
        if (ch == 1 || ch == 2) {
            return Report(report::kGanged, (ch == 1 ? live.subGanged : live.masterGanged) ? 1 : 0, ch);
        }
        break;
    case 0x07:
        if (st >= 0) {
            return Report(report::kMute, live.stereoMute[st] ? 1 : 0, ch);
        }
        if (mic >= 0) {
            return Report(report::kMute, live.micMute[mic] ? 1 : 0, ch);
        }
        break;
    default:
        break;
    }
    return ErrorReport(kErrorInvalidData);
}

ByteVector Firmware::InquiryDx(const ByteVector& p) const
{
    if (p.empty()) {
        return ErrorReport(kErrorInvalidData);
    }
    const Settings& live = state_.live;
    switch (p[0]) {
    case 0x00:
    case 0x01:
    case 0x02:
        return Report(report::kNoEffect);
    case 0x03:
        return Report(report::kSwitchOn, state_.switchOn);
    case 0x04:
        return Report(report::kThreshold, live.threshold);
    case 0x05:
        return Report(report::kAttenuation, live.attenuation);
    case 0x06:
        return Report(report::kHoldTime, live.holdTime);
    case 0x07:
        return Report(report::kFadeOut, live.fadeOut);
    case 0x08:
        return Report(report::kFadeIn, live.fadeIn);
    default:
        return ErrorReport(kErrorUnknownRequest);
    }
}

std::uint8_t Firmware::DuckStateByte() const
{
    return static_cast<std::uint8_t>((active_ ? 1 : 0) | (state_.live.manualDucking ? 2 : 0));
}

bool Firmware::Ducks(int mic) const { return !state_.live.priority[mic] && !state_.live.micMute[mic]; }

void Firmware::Queue(int key)
{
    if (std::find(pending_.begin(), pending_.end(), key) == pending_.end()) {
        pending_.push_back(key);
    }
}

void Firmware::RequeueDuckedLevels()
{
    // While levels are lowered, a changed gain, mute or priority changes
    // what the panel should show as the ducked level.
    if (depth_ > 0) {
        QueueLevels();
    }
}

void Firmware::QueueLevels()
{
    if (!state_.live.stereoMute[channel::kLine]) {
        Queue(kLineKey);
    }
    for (int m = 0; m < kMics; ++m) {
        if (Ducks(m)) {
            Queue(kMicKey + m);
        }
    }
}

ByteVector Firmware::Poll()
{
    // The levels are read when the report goes out, so a queued report
    // never carries a stale value.
    while (!pending_.empty()) {
        const int key = pending_.front();
        pending_.pop_front();
        const Settings& live = state_.live;
        if (key == kDuckKey) {
            return Report(report::kDuckState, DuckStateByte());
        }
        if (key == kLineKey) {
            if (live.stereoMute[channel::kLine]) {
                continue;
            }
            return LineLevelReport();
        }
        const int mic = key - kMicKey;
        if (!Ducks(mic)) {
            continue;
        }
        const int level = std::min<int>(kMaxGain, live.micGain[mic] + depth_);
        return Report(report::kLevel2, static_cast<std::uint8_t>(level), channel::Mic(mic + 1));
    }
    return choices_.pollsAnyReport ? NextItemReport() : Report(sub::kAck);
}

void Firmware::SetSpeech(unsigned micMask, std::int64_t nowMs)
{
    Advance(nowMs);
    speech_ = micMask & ((1u << kMics) - 1);
    Advance(nowMs);
}

void Firmware::Advance(std::int64_t nowMs)
{
    if (!started_) {
        started_ = true;
        lastMs_ = nowMs;
    }
    if (nowMs < lastMs_) {
        nowMs = lastMs_;
    }
    const Settings& live = state_.live;
    bool speaking = false;
    for (int m = 0; m < kMics; ++m) {
        speaking = speaking || ((speech_ >> m & 1u) && !live.micMute[m]);
    }
    const bool wasActive = active_;
    if (speaking) {
        active_ = true;
        holding_ = false;
    } else if (active_ && !holding_) {
        holding_ = true;
        holdEnd_ = nowMs + std::int64_t{live.holdTime} * 10;
    }
    if (active_ && holding_ && nowMs >= holdEnd_) {
        active_ = false;
        holding_ = false;
    }
    if (active_ != wasActive) {
        Queue(kDuckKey);
    }

    const int target = (active_ || live.manualDucking) ? live.attenuation : 0;
    const int before = depth_;
    const std::int64_t elapsed = nowMs - lastMs_;
    lastMs_ = nowMs;
    if (depth_ == target) {
        fadeCarry_ = 0;
    } else {
        const int msPerStep = depth_ < target ? live.fadeOut : live.fadeIn;
        if (msPerStep == 0) {
            depth_ = target;
            fadeCarry_ = 0;
        } else {
            fadeCarry_ += elapsed;
            const std::int64_t steps = fadeCarry_ / msPerStep;
            fadeCarry_ %= msPerStep;
            const int diff = target - depth_;
            const int move = static_cast<int>(std::min<std::int64_t>(steps, diff < 0 ? -diff : diff));
            depth_ += diff < 0 ? -move : move;
        }
    }
    if (depth_ != before) {
        QueueLevels();
    }
}

}  // namespace sim
