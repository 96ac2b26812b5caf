// Reply frames for the simulator's tests, written as "sub payload" ("C1 03")
// and framed by the codec, whose bytes the protocol tests pin.
#pragma once

#include "Hex.h"

#include <string>

inline ByteVector Framed(const std::string& subAndPayload)
{
    const std::string length = std::to_string(Hex(subAndPayload).size());
    return LCmd(Hex("10 02 01 " + length + " " + subAndPayload + " 10 03 00")).MakeFrame(1);
}

inline std::string R(const std::string& subAndPayload) { return ToHex(Framed(subAndPayload)); }
