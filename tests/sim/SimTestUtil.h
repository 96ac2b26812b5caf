// Reply frames for the simulator's tests, written as "sub payload" ("C1 03")
// and framed by the codec, whose bytes the protocol tests pin.
#pragma once

#include "Hex.h"

#include <string>

inline ByteVector Framed(const std::string& subAndPayload) { return Parsed(subAndPayload).MakeFrame(1); }

inline std::string R(const std::string& subAndPayload) { return ToHex(Framed(subAndPayload)); }
