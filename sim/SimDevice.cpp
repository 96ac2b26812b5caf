#include "SimDevice.h"

#include "Commands.h"
#include "Reports.h"

#include <algorithm>
#include <utility>

namespace sim {

SimDevice::SimDevice(DeviceState state, bool inBootLoader)
    : firmware_(state), inBootLoader_(inBootLoader)
{
}

bool SimDevice::PartialInput() const
{
    return inBootLoader_ ? loader_.PartialCommand() : hunter_.Partial();
}

bool SimDevice::FaultRefuses(std::vector<Reply>& out)
{
    if (fault_.count == 0) {
        return false;
    }
    ByteVector reply;
    switch (fault_.kind) {
    case FaultKind::Nak:
        reply = inBootLoader_ ? ByteVector{sub::kNak} : Report(sub::kNak);
        break;
    case FaultKind::Busy:
        reply = inBootLoader_ ? ByteVector{report::kBusy} : Report(report::kBusy);
        break;
    case FaultKind::Error:
        reply = inBootLoader_ ? ByteVector{report::kError} : ErrorReport(static_cast<std::uint8_t>(fault_.value));
        break;
    default:
        return false;
    }
    if (fault_.count > 0) {
        --fault_.count;
    }
    out.push_back({std::move(reply), Baud()});
    return true;
}

void SimDevice::Answer(ByteVector reply, std::vector<Reply>& out, int baud)
{
    // What a device server would keep to hand the next client (Stale).
    ByteVector previous = std::exchange(lastReply_, reply);
    if (fault_.count != 0) {
        bool used = true;
        switch (fault_.kind) {
        case FaultKind::Silence:
            reply.clear();
            break;
        case FaultKind::Noise: {
            ByteVector noisy;
            for (int i = 0; i < fault_.value; ++i) {
                noiseSeed_ ^= noiseSeed_ << 13;
                noiseSeed_ ^= noiseSeed_ >> 17;
                noiseSeed_ ^= noiseSeed_ << 5;
                auto b = static_cast<std::uint8_t>(noiseSeed_);
                noisy.push_back(b == frame::kDle ? 0x00 : b);  // no DLE: noise never looks like a frame start
            }
            noisy.insert(noisy.end(), reply.begin(), reply.end());
            reply = std::move(noisy);
            break;
        }
        case FaultKind::Stale:
        case FaultKind::Foreign: {
            ByteVector extra = fault_.kind == FaultKind::Stale ? previous
                                                               : Report(0xC2, static_cast<std::uint8_t>(fault_.value), 0x00);
            extra.insert(extra.end(), reply.begin(), reply.end());
            reply = std::move(extra);
            break;
        }
        case FaultKind::Garble:
            if (!reply.empty()) {
                reply.back() ^= 0x5A;
            }
            break;
        case FaultKind::Truncate:
            if (!reply.empty()) {
                reply.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max(fault_.value, 0)), reply.size() - 1));
            }
            break;
        default:
            used = false;
            break;
        }
        if (used && fault_.count > 0) {
            --fault_.count;
        }
    }
    if (!reply.empty()) {
        out.push_back({std::move(reply), baud});
    }
}

void SimDevice::KeepReceived(bool on)
{
    keepReceived_ = on;
    if (!on) {
        std::vector<ByteVector>().swap(received_);
    }
}

void SimDevice::Record(ByteVector received)
{
    if (keepReceived_) {
        received_.push_back(std::move(received));
    }
}

void SimDevice::SetChoices(const Choices& choices)
{
    choices_ = choices;
    firmware_.SetChoices(choices);
    frames_ = frameReplies_ = heldReplies_ = 0;
    heldArmed_ = false;
}

void SimDevice::LineOpened() { heldArmed_ = choices_.holdsEarlierReply && !inBootLoader_; }

void SimDevice::HandleFrame(const HuntedFrame& frame, std::int64_t nowMs, std::vector<Reply>& out)
{
    Record(frame.bytes);
    if (fault_.kind == FaultKind::Echo && fault_.count != 0) {
        out.push_back({frame.bytes, Baud()});
        if (fault_.count > 0) {
            --fault_.count;
        }
    }
    if (heldArmed_) {
        // What the device server kept from the last client's poll.
        heldArmed_ = false;
        const bool ack = (heldReplies_++ + choices_.seed) % 2 == 0;
        out.push_back({ack ? Report(sub::kAck) : firmware_.LineLevelReport(), kFirmwareBaud});
    }
    const std::size_t before = out.size();
    AnswerFrame(frame, nowMs, out);
    if (out.size() > before && choices_.lateEvery > 0 && ++frameReplies_ % static_cast<unsigned>(choices_.lateEvery) == 0) {
        out.back().lateMs = choices_.lateMs;
    }
}

void SimDevice::AnswerFrame(const HuntedFrame& frame, std::int64_t nowMs, std::vector<Reply>& out)
{
    const bool busyTurn = choices_.busyEvery > 0 && ++frames_ % static_cast<unsigned>(choices_.busyEvery) == 0;
    if (FaultRefuses(out)) {
        return;
    }
    if (busyTurn) {
        Answer(Report(report::kBusy), out, kFirmwareBaud);
        return;
    }
    if (!frame.checksumOk) {
        Answer(Report(sub::kNak), out, kFirmwareBaud);
        return;
    }
    Answer(firmware_.HandleFrame(LCmd(frame.bytes), nowMs), out, kFirmwareBaud);
    if (firmware_.TakeBootLoaderRequest()) {
        inBootLoader_ = true;
        loader_.Restart();
        rawCommand_.clear();
    }
}

void SimDevice::LoaderByte(std::uint8_t byte, std::vector<Reply>& out)
{
    rawCommand_.push_back(byte);
    const auto reply = loader_.Feed(byte);
    if (!reply) {
        return;
    }
    Record(std::move(rawCommand_));
    rawCommand_.clear();
    if (!FaultRefuses(out)) {
        Answer(ByteVector{*reply}, out, kBootLoaderBaud);
    }
    if (loader_.TakeResetRequest()) {
        inBootLoader_ = false;
        hunter_.Reset();
    }
}

std::vector<Reply> SimDevice::Receive(const std::uint8_t* data, std::size_t size, std::int64_t nowMs)
{
    firmware_.Advance(nowMs);
    if (size > 0 && (!lastByteMs_ || nowMs - *lastByteMs_ >= kQuietBeforeHeldReplyMs)) {
        LineOpened();
    }
    if (size > 0) {
        lastByteMs_ = nowMs;
    }
    std::vector<Reply> out;
    std::size_t i = 0;
    while (i < size) {
        if (inBootLoader_) {
            LoaderByte(data[i++], out);
            continue;
        }
        // Firmware: everything up to a switch into the boot loader goes to the
        // hunter; frames behind the switch were sent at the wrong speed.
        for (const auto& frame : hunter_.Feed(data + i, size - i)) {
            if (inBootLoader_) {
                break;
            }
            HandleFrame(frame, nowMs, out);
        }
        if (inBootLoader_) {
            hunter_.Reset();
        }
        i = size;
    }
    return out;
}

std::vector<Reply> SimDevice::Idle(std::int64_t nowMs)
{
    firmware_.Advance(nowMs);
    std::vector<Reply> out;
    if (inBootLoader_) {
        if (const auto reply = loader_.Idle()) {
            Record(std::move(rawCommand_));
            if (!FaultRefuses(out)) {
                Answer(ByteVector{*reply}, out, kBootLoaderBaud);
            }
        }
        rawCommand_.clear();
        return out;
    }
    for (const auto& frame : hunter_.Idle()) {
        if (inBootLoader_) {
            hunter_.Reset();
            break;
        }
        HandleFrame(frame, nowMs, out);
    }
    return out;
}

}  // namespace sim
