#include "FrameHunter.h"

namespace sim {

void FrameHunter::Reset()
{
    discarded_ += buffer_.size();
    buffer_.clear();
}

void FrameHunter::DropFront(std::size_t n)
{
    discarded_ += n;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
}

std::vector<HuntedFrame> FrameHunter::Feed(const std::uint8_t* data, std::size_t size)
{
    buffer_.insert(buffer_.end(), data, data + size);
    return Scan();
}

std::vector<HuntedFrame> FrameHunter::Idle()
{
    std::vector<HuntedFrame> frames;
    while (!buffer_.empty()) {
        DropFront(1);
        auto more = Scan();
        frames.insert(frames.end(), more.begin(), more.end());
    }
    return frames;
}

std::vector<HuntedFrame> FrameHunter::Scan()
{
    std::vector<HuntedFrame> frames;
    for (;;) {
        // Hunt: keep nothing before a DLE STX (a lone trailing DLE may start one).
        std::size_t start = 0;
        while (start + 1 < buffer_.size() && !(buffer_[start] == frame::kDle && buffer_[start + 1] == frame::kStx)) {
            ++start;
        }
        if (start + 1 >= buffer_.size() && !(start < buffer_.size() && buffer_[start] == frame::kDle)) {
            start = buffer_.size();
        }
        DropFront(start);
        if (buffer_.size() < 4) {
            return frames;
        }
        const std::size_t total = std::size_t{buffer_[3]} + frame::kOverhead;
        if (buffer_.size() < total) {
            return frames;
        }
        if (buffer_[total - 3] != frame::kDle || buffer_[total - 2] != frame::kEtx) {
            DropFront(1);  // false start: look for the next DLE STX after it
            continue;
        }
        HuntedFrame f;
        f.bytes.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < total; ++i) {
            sum ^= f.bytes[i];
        }
        f.checksumOk = sum == f.bytes.back();
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
        frames.push_back(std::move(f));
    }
}

}  // namespace sim
