#include "Rfc2217.h"

#include "PortErrors.h"

#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>

namespace comm {

namespace {
constexpr qsizetype kMaxSubNegotiation = 64;  // longer ones are not ours: dropped
constexpr qsizetype kMaxSaidShown = 200;      // of a server's closing words

// Parity none, odd, even, mark, space; stop bits 1, 1.5, 2: LineSettings' order.
constexpr std::uint8_t kParityCode[] = {1, 2, 3, 4, 5};
constexpr std::uint8_t kStopCode[] = {1, 3, 2};

bool Accepted(std::uint8_t option, bool ours)
{
    return option == Rfc2217Transport::kBinary || option == Rfc2217Transport::kSuppressGoAhead ||
           (ours && option == Rfc2217Transport::kComPort);
}

// The index of `code` in a table of codes, -1 when it is none of them.
template <std::size_t N>
int IndexOf(const std::uint8_t (&codes)[N], qint64 code)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (codes[i] == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
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
    flush();
    // Settings sent before the server agreed to the option may be dropped.
    Await([this] { return comPortAgreed_ || comPortRefused_; });
    if (SetLine(line)) {
        return true;
    }
    SetFailure(OpenFailure::Kind::LineRefused, OpenFailureText(line));
    close();
    return false;
}

QString Rfc2217Transport::OpenFailureText(const LineSettings& line) const
{
    const QString name = QStringLiteral("%1:%2").arg(host_).arg(port_);
    const QString asked = LineText(line.baudRate, line.dataBits, line.parity, line.stopBits);
    if (comPortRefused_) {
        return NoComPortControlText(host_, port_);
    }
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        // ser2net sends its reason as line data before it closes.
        QString said = QString::fromLatin1(in_.mid(inPos_)).simplified();
        said.removeIf([](QChar c) { return !c.isPrint(); });
        return ServerClosedText(name, said.left(kMaxSaidShown));
    }
    if (!comPortAgreed_ || std::find(answered_.begin() + 1, answered_.end(), -1) != answered_.end()) {
        return NoLineAnswerText(name, asked);
    }
    return LineSettingsKeptText(name, asked,
                                LineText(answered_[kSetBaudRate], static_cast<int>(answered_[kSetDataSize]),
                                         IndexOf(kParityCode, answered_[kSetParity]),
                                         IndexOf(kStopCode, answered_[kSetStopSize])));
}

void Rfc2217Transport::Await(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(kReplyTimeoutMs);
    while (!done() && !deadline.hasExpired() && socket_.state() == QAbstractSocket::ConnectedState) {
        if (socket_.bytesAvailable() > 0 || socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            Pump();
        }
    }
    // A server that hung up may have left its last words in the socket's buffer.
    if (socket_.bytesAvailable() > 0) {
        Pump();
    }
}

bool Rfc2217Transport::SetLine(const LineSettings& line)
{
    if (line.baudRate <= 0 || line.dataBits < 5 || line.dataBits > 8 || line.parity < 0 || line.parity > 4 ||
        line.stopBits < 0 || line.stopBits > 2 || !comPortAgreed_ || comPortRefused_) {
        return false;
    }
    const auto rate = static_cast<quint32>(line.baudRate);
    QByteArray baud;
    for (int shift = 24; shift >= 0; shift -= 8) {
        baud.append(static_cast<char>((rate >> shift) & 0xFF));
    }
    answered_.fill(-1);
    const std::uint8_t parity = kParityCode[line.parity];
    const std::uint8_t stop = kStopCode[line.stopBits];
    SendComPort(kSetBaudRate, baud);
    SendComPort(kSetDataSize, QByteArray(1, static_cast<char>(line.dataBits)));
    SendComPort(kSetParity, QByteArray(1, static_cast<char>(parity)));
    SendComPort(kSetStopSize, QByteArray(1, static_cast<char>(stop)));
    flush();
    // Bytes written after this must go out in the new settings: wait until the
    // server has answered all four. Line bytes arriving meanwhile are kept.
    Await([this] {
        return comPortRefused_ || std::find(answered_.begin() + 1, answered_.end(), -1) == answered_.end();
    });
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
    return !comPortRefused_ && answered_[kSetBaudRate] == static_cast<qint64>(rate) &&
           answered_[kSetDataSize] == line.dataBits && answered_[kSetParity] == parity &&
           answered_[kSetStopSize] == stop;
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
        comPortAgreed_ = comPortAgreed_ || option == kComPort;
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
    // IAC SB COM-PORT-OPTION SET-BAUDRATE+100 <4 bytes, network order> IAC SE;
    // SET-DATASIZE, SET-PARITY, SET-STOPSIZE (+100) with one byte.
    if (body.size() < 3 || static_cast<std::uint8_t>(body[0]) != kComPort) {
        return;
    }
    const int command = static_cast<std::uint8_t>(body[1]) - kServerOffset;
    if (command < kSetBaudRate || command > kSetStopSize || body.size() != (command == kSetBaudRate ? 6 : 3)) {
        return;
    }
    qint64 value = 0;
    for (qsizetype i = 2; i < body.size(); ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(body[i]);
    }
    answered_[static_cast<std::size_t>(command)] = value;
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
