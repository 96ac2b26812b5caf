// Telnet with the COM-PORT-CONTROL option (RFC 2217) over TCP: the device
// server's serial line, whose speed and format are set from here (the
// firmware update switches to 115200 baud this way).
//
// A small client rather than libgensio: gensio brings its own event loop and
// OS layer, which would need a second loop beside the reader thread's Qt one;
// the part of telnet needed here is short. Line bytes equal to IAC (0xFF)
// are doubled both ways; BINARY, SUPPRESS-GO-AHEAD and COM-PORT-CONTROL are
// accepted, every other option is refused once, and the server's line and
// modem state notifications are ignored. Line settings go out once the server
// has agreed to COM-PORT-CONTROL, and count as set only when its answers name
// the speed, data size, parity and stop bits asked for.
#pragma once

#include "TcpTransport.h"

#include <array>
#include <cstdint>
#include <functional>

namespace comm {

class Rfc2217Transport : public TcpTransport {
public:
    // How long the server may take to agree to the option, and to confirm
    // line settings.
    static constexpr int kReplyTimeoutMs = 3000;

    using TcpTransport::TcpTransport;

    bool Open(const LineSettings& line) override;
    bool SetLine(const LineSettings& line) override;
    void write(const char* data, qint64 size) override;

    // Telnet bytes: commands and option codes used here.
    static constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                                  kSe = 240;
    static constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
    // COM-PORT-CONTROL commands (client to server; the server answers +100).
    static constexpr std::uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4;
    static constexpr std::uint8_t kServerOffset = 100;

protected:
    void Receive(const QByteArray& bytes) override;

private:
    void Negotiate(std::uint8_t verb, std::uint8_t option);
    // Sends WILL/WONT or DO/DONT unless that was the last thing said about the option.
    void Say(std::uint8_t verb, std::uint8_t option);
    void SubNegotiation(const QByteArray& body);
    void SendComPort(std::uint8_t command, const QByteArray& value);
    // Reads (keeping line bytes) until done(), the deadline or the connection's end.
    void Await(const std::function<bool()>& done);
    // The reason Open failed, from what the server did.
    QString OpenFailureText(const LineSettings& line) const;

    enum class State { Data, Iac, Verb, Sb, SbIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    QByteArray sb_;
    std::array<std::uint8_t, 256> saidWill_{};  // last WILL/WONT we sent per option (0: none)
    std::array<std::uint8_t, 256> saidDo_{};    // last DO/DONT we sent per option
    bool comPortAgreed_ = false;  // the server said DO COM-PORT-CONTROL
    bool comPortRefused_ = false;
    // The server's answers to the last settings, by command (kSetBaudRate ..
    // kSetStopSize, in its own codes); -1 until it answers.
    std::array<qint64, kSetStopSize + 1> answered_{-1, -1, -1, -1, -1};
};

}  // namespace comm
