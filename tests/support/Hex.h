// Test helper: bytes written as "10 02 01 ..." so that tables read like the
// protocol documentation.
#pragma once

#include "Lcmd.h"

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>

inline ByteVector Hex(const std::string& text)
{
    ByteVector out;
    std::istringstream in(text);
    for (std::string token; in >> token;) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    }
    return out;
}

inline std::string ToHex(const ByteVector& bytes)
{
    std::string out;
    char buf[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", static_cast<unsigned>(b));
        out += buf;
    }
    return out;
}

// A frame as the line delivers it, from its sub byte and payload ("C3 21 12"):
// header, length, the bytes and the trailer; the checksum, which parsing does
// not check, left 00.
inline LCmd Parsed(const std::string& subAndPayload)
{
    return LCmd(Hex("10 02 01 " + std::to_string(Hex(subAndPayload).size()) + " " + subAndPayload + " 10 03 00"));
}

// How GoogleTest shows a command that differs: its frame as it goes on the line.
inline void PrintTo(const LCmd& c, std::ostream* os) { *os << ToHex(c.MakeFrame(c.Command() != 0 ? 1 : 0)); }
