// Cuts the byte stream from the device into replies.
//
// Framed mode hunts for DLE STX (noise before it is dropped byte by byte; a
// DLE followed by anything but STX keeps the DLE), then counts: the reply is
// complete when it holds length + 7 bytes, the length being its fourth byte.
// Neither checksum nor trailer is checked; a damaged frame is still a reply.
// Raw mode makes every byte a reply of its own. Any other mode ignores bytes.
#pragma once

#include "Lcmd.h"

#include <cstdint>

class ReplyCollector {
public:
    // Adds one byte; true when it completed a reply, which Take() then hands out.
    bool Feed(std::uint8_t byte, std::uint8_t receiveMode);

    // The completed reply; the collector starts empty again.
    ByteVector Take();

    void Clear() { buffer_.clear(); }
    const ByteVector& Pending() const { return buffer_; }

private:
    ByteVector buffer_;
};
