// Frame codec and command objects of the KESTRA serial protocol.
//
// A command is three fields: command byte, sub byte, payload. On the line a
// framed command is
//
//   10 02 | command | length | sub | payload... | 10 03 | checksum
//
// where length = payload size + 1 (sub byte and payload) and the checksum is
// the XOR of every byte before it. Nothing is escaped: the receiver counts
// bytes from the length byte and never searches for DLE ETX. Raw mode (the
// boot loader) puts the payload bytes alone on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

namespace frame {
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kModeRaw = 0;
inline constexpr std::uint8_t kModeFramed = 1;
// Bytes a frame has beyond sub byte and payload: DLE STX cmd len ... DLE ETX sum.
inline constexpr std::size_t kOverhead = 7;
inline constexpr std::size_t kMinFramedSize = 7;
inline constexpr std::size_t kMaxPayload = 254;
}  // namespace frame

// True when the buffer has the outline of a frame: at least 7 bytes, starting
// 10 02 and with 10 03 just before the last (checksum) byte.
bool IsFramed(const std::uint8_t* data, std::size_t size);
bool IsFramed(const ByteVector& buffer);
// A framed buffer whose last byte is the XOR of all before it.
bool ChecksumRight(const ByteVector& buffer);

class LCmd {
public:
    LCmd() = default;
    LCmd(std::uint8_t command, std::uint8_t sub) : command_(command), sub_(sub) {}
    // Parses any buffer without failing and without reading outside it. A
    // framed buffer gives command B[2], sub B[4] and the payload that the
    // length byte announces (cut at the buffer's end; the checksum is not
    // verified). Anything else is a raw reply: sub = B[0], command 0.
    explicit LCmd(const ByteVector& buffer);
    LCmd(const LCmd&) = default;
    LCmd& operator=(const LCmd&) = default;
    LCmd(LCmd&&) = default;
    LCmd& operator=(LCmd&&) = default;
    virtual ~LCmd() = default;

    std::uint8_t Command() const { return command_; }
    std::uint8_t Sub() const { return sub_; }
    const ByteVector& Payload() const { return payload_; }

    // Mode 0: the raw payload bytes; mode 1: the whole frame; other modes: empty.
    ByteVector MakeFrame(std::uint8_t mode) const;

    bool operator==(const LCmd& other) const
    {
        return command_ == other.command_ && sub_ == other.sub_ && payload_ == other.payload_;
    }

protected:
    void Append(std::uint8_t byte) { payload_.push_back(byte); }

    std::uint8_t command_ = 0;
    std::uint8_t sub_ = 0;
    ByteVector payload_;
};
