// Reply frames for the simulator's tests, written as "sub payload" ("C1 03")
// and framed here: 10 02 01 length ... 10 03 checksum (XOR of all before it).
#pragma once

#include "Hex.h"

#include <string>

inline ByteVector Framed(const std::string& subAndPayload)
{
    const ByteVector body = Hex(subAndPayload);
    ByteVector out = Hex("10 02 01");
    out.push_back(static_cast<std::uint8_t>(body.size()));
    for (std::uint8_t b : body) {
        out.push_back(b);
    }
    out.push_back(0x10);
    out.push_back(0x03);
    std::uint8_t sum = 0;
    for (auto b : out) {
        sum ^= b;
    }
    out.push_back(sum);
    return out;
}

inline std::string R(const std::string& subAndPayload) { return ToHex(Framed(subAndPayload)); }
