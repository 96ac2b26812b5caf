#include "ReplyCollector.h"

#include <utility>

bool ReplyCollector::Feed(std::uint8_t byte, std::uint8_t receiveMode)
{
    if (receiveMode == frame::kModeRaw) {
        buffer_.push_back(byte);
        return true;
    }
    if (receiveMode != frame::kModeFramed) {
        return false;
    }
    if (buffer_.empty() && byte != frame::kDle) {
        return false;
    }
    if (buffer_.size() == 1 && byte != frame::kStx) {
        return false;
    }
    buffer_.push_back(byte);
    return buffer_.size() >= 4 && buffer_.size() == static_cast<std::size_t>(buffer_[3]) + frame::kOverhead;
}

ByteVector ReplyCollector::Take()
{
    ByteVector out = std::move(buffer_);
    buffer_.clear();
    return out;
}
