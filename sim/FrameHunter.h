// Cuts frames out of the received byte stream as the device does: hunt for
// DLE STX, count the rest by the length byte, and when what was counted does
// not end in DLE ETX (noise, a cut or overlong frame) resynchronise on the
// next DLE STX after the false start. Never waits for more than one frame's
// worth of bytes and never grows without bound.
#pragma once

#include "Lcmd.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct HuntedFrame {
    ByteVector bytes;        // the whole frame, DLE STX to checksum
    bool checksumOk = true;  // the last byte is the XOR of all before it
};

class FrameHunter {
public:
    // Appends received bytes; returns every frame they complete, in order.
    std::vector<HuntedFrame> Feed(const std::uint8_t* data, std::size_t size);
    // The line went quiet: whatever partial frame is held will not be
    // completed. Drops its false start and re-hunts in what is left.
    std::vector<HuntedFrame> Idle();
    void Reset();

    bool Partial() const { return !buffer_.empty(); }
    // Bytes thrown away as noise since construction.
    std::size_t Discarded() const { return discarded_; }

private:
    std::vector<HuntedFrame> Scan();
    void DropFront(std::size_t n);

    ByteVector buffer_;
    std::size_t discarded_ = 0;
};

}  // namespace sim
