#include "Lcmd.h"

#include <algorithm>

bool IsFramed(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < frame::kMinFramedSize) {
        return false;
    }
    return data[0] == frame::kDle && data[1] == frame::kStx && data[size - 3] == frame::kDle
        && data[size - 2] == frame::kEtx;
}

bool IsFramed(const ByteVector& buffer)
{
    return IsFramed(buffer.data(), buffer.size());
}

bool ChecksumRight(const ByteVector& buffer)
{
    if (!IsFramed(buffer)) {
        return false;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < buffer.size(); ++i) {
        sum ^= buffer[i];
    }
    return sum == buffer.back();
}

namespace {
// Payload bytes B[5] .. B[B[3] + 3], cut where the buffer ends. A length byte
// that promises more than arrived must not make us read past the buffer.
ByteVector PayloadByLengthByte(const ByteVector& b)
{
    if (b.size() <= 5) {
        return {};
    }
    const std::size_t length = b[3];
    if (length < 2) {
        return {};
    }
    const std::size_t last = std::min<std::size_t>(length + 3, b.size() - 1);
    return ByteVector(b.begin() + 5, b.begin() + static_cast<std::ptrdiff_t>(last) + 1);
}
}  // namespace

LCmd::LCmd(const ByteVector& buffer)
{
    if (IsFramed(buffer)) {
        command_ = buffer[2];
        sub_ = buffer[4];
    } else {
        command_ = 0;
        sub_ = buffer.empty() ? 0 : buffer[0];
    }
    payload_ = PayloadByLengthByte(buffer);
}

ByteVector LCmd::MakeFrame(std::uint8_t mode) const
{
    if (mode == frame::kModeRaw) {
        return payload_;
    }
    if (mode != frame::kModeFramed) {
        return {};
    }
    ByteVector out;
    out.reserve(payload_.size() + frame::kOverhead + 1);
    out.push_back(frame::kDle);
    out.push_back(frame::kStx);
    out.push_back(command_);
    out.push_back(static_cast<std::uint8_t>(payload_.size() + 1));
    out.push_back(sub_);
    out.insert(out.end(), payload_.begin(), payload_.end());
    out.push_back(frame::kDle);
    out.push_back(frame::kEtx);
    std::uint8_t sum = 0;
    for (std::uint8_t b : out) {
        sum ^= b;
    }
    out.push_back(sum);
    return out;
}
