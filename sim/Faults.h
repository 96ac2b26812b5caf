// Faults the simulated device can be told to show, one kind at a time.
#pragma once

#include <cstdint>

namespace sim {

enum class FaultKind {
    None,
    Silence,   // no reply at all (the command is still carried out)
    Noise,     // `value` noise bytes (never DLE STX) go out before the reply
    Truncate,  // only the first `value` bytes of the reply go out
    Nak,       // a NAK frame instead of the reply; the command is not carried out
    Busy,      // the busy report 0xE0 instead; not carried out
    Error,     // the error report 0xE1 with code `value` instead; not carried out
    Stale,     // the previous reply goes out again before this one (a device server kept it)
    Foreign,   // before the reply, a report nobody asked for: the line's gain at position `value`
    Garble,    // the reply's checksum byte is wrong
    Echo,      // the frame received goes back out before the reply (a half-duplex adapter)
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int value = 0;
    // How many replies the fault affects; negative: until it is changed.
    int count = -1;
};

}  // namespace sim
