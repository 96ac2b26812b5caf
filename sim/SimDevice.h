// The whole simulated KESTRA without any input or output: received bytes go
// in, reply bytes come out. It switches between the regular firmware (framed
// commands, 9600 baud) and the boot loader (raw commands, 115200 baud),
// records what it received for observers, applies injected faults and the
// legal choices of Choices.h (busy, late and held replies here; the rest in
// Firmware).
#pragma once

#include "BootLoader.h"
#include "DeviceState.h"
#include "Faults.h"
#include "Firmware.h"
#include "FrameHunter.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

inline constexpr int kFirmwareBaud = 9600;
inline constexpr int kBootLoaderBaud = 115200;

struct Reply {
    ByteVector bytes;
    int baud = kFirmwareBaud;  // the speed the device talks while sending it
    int lateMs = 0;            // goes out this much later than it would (Choices::lateEvery)
};

class SimDevice {
public:
    explicit SimDevice(DeviceState state = {}, bool inBootLoader = false);

    // Received bytes in; the replies they draw, in order.
    std::vector<Reply> Receive(const std::uint8_t* data, std::size_t size, std::int64_t nowMs);
    // The line was quiet: settles partial input (see FrameHunter, BootLoader).
    std::vector<Reply> Idle(std::int64_t nowMs);
    // Moves the ducking simulation on.
    void Advance(std::int64_t nowMs) { firmware_.Advance(nowMs); }
    // Whether anything is half received (the owner then calls Idle after a pause).
    bool PartialInput() const;

    bool InBootLoader() const { return inBootLoader_; }
    int Baud() const { return inBootLoader_ ? kBootLoaderBaud : kFirmwareBaud; }

    // Every complete frame (firmware) or raw command / data block (boot loader)
    // received, in order. Noise is not recorded.
    const std::vector<ByteVector>& Received() const { return received_; }
    void ClearReceived() { received_.clear(); }
    // A simulator left running for hours records nothing: the record would
    // grow by every poll.
    void KeepReceived(bool on);
    std::size_t DiscardedBytes() const { return hunter_.Discarded(); }

    void SetFault(const Fault& fault) { fault_ = fault; }
    Fault CurrentFault() const { return fault_; }

    // Counting for busy and late starts again here.
    void SetChoices(const Choices& choices);
    const Choices& CurrentChoices() const { return choices_; }
    // A client opened the line: with held-reply, the next frame's reply comes
    // second. (The first byte after a quiet second counts as an opening too.)
    void LineOpened();

    Firmware& Device() { return firmware_; }
    const Firmware& Device() const { return firmware_; }
    const BootLoader& Loader() const { return loader_; }

private:
    void Answer(ByteVector reply, std::vector<Reply>& out, int baud);
    bool FaultRefuses(std::vector<Reply>& out);
    void HandleFrame(const HuntedFrame& frame, std::int64_t nowMs, std::vector<Reply>& out);
    void AnswerFrame(const HuntedFrame& frame, std::int64_t nowMs, std::vector<Reply>& out);
    void LoaderByte(std::uint8_t byte, std::vector<Reply>& out);
    void Record(ByteVector received);

    Firmware firmware_;
    BootLoader loader_;
    FrameHunter hunter_;
    bool inBootLoader_;
    ByteVector rawCommand_;  // boot-loader bytes of the command in progress
    std::vector<ByteVector> received_;
    bool keepReceived_ = true;
    Fault fault_;
    Choices choices_;
    std::uint64_t frames_ = 0;          // framed frames since the choices were set
    std::uint64_t frameReplies_ = 0;    // replies to them
    std::uint64_t heldReplies_ = 0;
    bool heldArmed_ = false;
    std::optional<std::int64_t> lastByteMs_;
    ByteVector lastReply_;
    std::uint32_t noiseSeed_ = 0x2545F491u;
};

}  // namespace sim
