#include "Rfc2217.h"

#include "PortErrors.h"

#include <QDeadlineTimer>
#include <QMetaObject>

namespace comm {

namespace {
constexpr qsizetype kMaxSubNegotiation = 64;  // longer ones are not ours: dropped

bool Accepted(std::uint8_t option, bool ours)
{
    return option == Rfc2217Transport::kBinary || option == Rfc2217Transport::kSuppressGoAhead ||
           (ours && option == Rfc2217Transport::kComPort);
}
}  // namespace

bool Rfc2217Transport::Open(const LineSettings& line)
{
    if (!TcpTransport::Open(line)) {
        return false;
    }
    Say(kWill, kBinary);
    Say(kDo, kBinary);
    Say(kWill, kComPort);
    if (!SetLine(line)) {
        SetErrorText(comPortRefused_ ? NoComPortControlText(host_, port_)
                                     : LineSettingsRefusedText(QStringLiteral("%1:%2").arg(host_).arg(port_),
                                                               line.baudRate));
        close();
        return false;
    }
    return true;
}

bool Rfc2217Transport::SetLine(const LineSettings& line)
{
    // Data size 5..8; parity none, odd, even, mark, space; stop bits 1, 1.5, 2.
    static constexpr std::uint8_t kParity[] = {1, 2, 3, 4, 5};
    static constexpr std::uint8_t kStop[] = {1, 3, 2};
    if (line.baudRate <= 0 || line.dataBits < 5 || line.dataBits > 8 || line.parity < 0 || line.parity > 4 ||
        line.stopBits < 0 || line.stopBits > 2 || comPortRefused_) {
        return false;
    }
    const auto rate = static_cast<quint32>(line.baudRate);
    QByteArray baud;
    for (int shift = 24; shift >= 0; shift -= 8) {
        baud.append(static_cast<char>((rate >> shift) & 0xFF));
    }
    confirmedBaud_ = -1;
    SendComPort(kSetBaudRate, baud);
    SendComPort(kSetDataSize, QByteArray(1, static_cast<char>(line.dataBits)));
    SendComPort(kSetParity, QByteArray(1, static_cast<char>(kParity[line.parity])));
    SendComPort(kSetStopSize, QByteArray(1, static_cast<char>(kStop[line.stopBits])));
    flush();
    // Bytes written after this must go out at the new speed: wait until the
    // server has applied it. Line bytes arriving meanwhile are kept.
    const QDeadlineTimer deadline(kReplyTimeoutMs);
    while (confirmedBaud_ < 0 && !comPortRefused_ && !deadline.hasExpired() &&
           socket_.state() == QAbstractSocket::ConnectedState) {
        if (socket_.bytesAvailable() > 0 || socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            Pump();
        }
    }
    if (bytesAvailable() > 0) {
        // Those bytes arrived while the reader was busy here; it hears of them later.
        QMetaObject::invokeMethod(
            &socket_,
            [this] {
                if (bytesAvailable() > 0 && onReadyRead) {
                    onReadyRead();
                }
            },
            Qt::QueuedConnection);
    }
    return confirmedBaud_ == static_cast<qint64>(rate);
}

void Rfc2217Transport::write(const char* data, qint64 size)
{
    QByteArray escaped;
    escaped.reserve(size + 8);
    for (qint64 i = 0; i < size; ++i) {
        escaped.append(data[i]);
        if (static_cast<std::uint8_t>(data[i]) == kIac) {
            escaped.append(static_cast<char>(kIac));
        }
    }
    Send(escaped);
}

void Rfc2217Transport::Receive(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (b == kIac) {
                state_ = State::Iac;
            } else {
                in_.append(c);
            }
            break;
        case State::Iac:
            if (b == kIac) {
                in_.append(c);
                state_ = State::Data;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                state_ = State::Verb;
            } else if (b == kSb) {
                sb_.clear();
                state_ = State::Sb;
            } else {
                state_ = State::Data;  // NOP, GA, DM, ...: nothing to do
            }
            break;
        case State::Verb:
            Negotiate(verb_, b);
            state_ = State::Data;
            break;
        case State::Sb:
            if (b == kIac) {
                state_ = State::SbIac;
            } else if (sb_.size() < kMaxSubNegotiation) {
                sb_.append(c);
            }
            break;
        case State::SbIac:
            if (b == kSe) {
                SubNegotiation(sb_);
                state_ = State::Data;
            } else if (b == kIac) {
                if (sb_.size() < kMaxSubNegotiation) {
                    sb_.append(c);
                }
                state_ = State::Sb;
            } else {
                state_ = State::Data;  // malformed: forget it
            }
            break;
        }
    }
}

void Rfc2217Transport::Negotiate(std::uint8_t verb, std::uint8_t option)
{
    switch (verb) {
    case kWill:  // the server offers to do something
        Say(Accepted(option, false) ? kDo : kDont, option);
        break;
    case kWont:  // answered only when it ends something we agreed to
        if (saidDo_[option] == kDo) {
            Say(kDont, option);
        }
        break;
    case kDo:  // the server asks us to do something
        Say(Accepted(option, true) ? kWill : kWont, option);
        break;
    case kDont:
        if (option == kComPort) {
            comPortRefused_ = true;
        }
        if (saidWill_[option] == kWill) {
            Say(kWont, option);
        }
        break;
    default:
        break;
    }
}

void Rfc2217Transport::Say(std::uint8_t verb, std::uint8_t option)
{
    auto& said = (verb == kWill || verb == kWont) ? saidWill_ : saidDo_;
    if (said[option] == verb) {
        return;
    }
    said[option] = verb;
    const char bytes[] = {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
    Send(QByteArray(bytes, 3));
}

void Rfc2217Transport::SubNegotiation(const QByteArray& body)
{
    // IAC SB COM-PORT-OPTION SET-BAUDRATE+100 <4 bytes, network order> IAC SE
    if (body.size() == 6 && static_cast<std::uint8_t>(body[0]) == kComPort &&
        static_cast<std::uint8_t>(body[1]) == kSetBaudRate + kServerOffset) {
        qint64 rate = 0;
        for (int i = 2; i < 6; ++i) {
            rate = (rate << 8) | static_cast<std::uint8_t>(body[i]);
        }
        confirmedBaud_ = rate;
    }
}

void Rfc2217Transport::SendComPort(std::uint8_t command, const QByteArray& value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(kIac)).append(static_cast<char>(kSb));
    bytes.append(static_cast<char>(kComPort)).append(static_cast<char>(command));
    for (const char c : value) {
        bytes.append(c);
        if (static_cast<std::uint8_t>(c) == kIac) {
            bytes.append(c);
        }
    }
    bytes.append(static_cast<char>(kIac)).append(static_cast<char>(kSe));
    Send(bytes);
}

}  // namespace comm
