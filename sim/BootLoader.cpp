#include "BootLoader.h"

#include "Commands.h"

#include <algorithm>

namespace sim {

namespace {
using boot::kGoOn;
using boot::kProgramStart;
using boot::kReady;
using boot::kStart;
constexpr std::uint8_t kHeader = boot::kProgramHeader;
constexpr std::uint8_t kErase = boot::kPageErase;
constexpr std::uint8_t kReset = boot::kMcuReset;
constexpr std::uint8_t kFinish = boot::kProgramFinish;
constexpr std::uint8_t kFail = boot::kError;

std::size_t CommandLength(std::uint8_t first)
{
    switch (first) {
    case kHeader:
    case kErase:
        return 4;
    case kReset:
    case kProgramStart:
    case kFinish:
        return 3;
    default:
        return 0;
    }
}
}  // namespace

BootLoader::BootLoader() { flash_.fill(0xFF); }

void BootLoader::Restart()
{
    started_ = false;
    count_ = 0;
    dataPage_ = -1;
    dataCount_ = 0;
}

bool BootLoader::TakeResetRequest()
{
    const bool r = resetRequest_;
    resetRequest_ = false;
    return r;
}

ByteVector BootLoader::Page(int page) const
{
    if (page < 0 || page >= kFlashPages) {
        return {};
    }
    const auto* begin = flash_.data() + page * kPageSize;
    return ByteVector(begin, begin + kPageSize);
}

std::optional<std::uint8_t> BootLoader::Feed(std::uint8_t byte)
{
    if (dataPage_ >= 0) {
        data_[dataCount_++] = byte;
        dataXor_ ^= byte;
        if (dataCount_ < kPageSize) {
            return std::nullopt;
        }
        auto* page = flash_.data() + dataPage_ * kPageSize;
        for (int i = 0; i < kPageSize; ++i) {
            page[i] &= data_[i];
        }
        ++programs_;
        dataPage_ = -1;
        dataCount_ = 0;
        return dataXor_;
    }
    if (!started_) {
        if (byte == kStart) {
            started_ = true;
            return kReady;
        }
        return kFail;
    }
    if (count_ == 0 && CommandLength(byte) == 0) {
        return kFail;
    }
    cmd_[count_++] = byte;
    if (count_ < CommandLength(cmd_[0])) {
        return std::nullopt;
    }
    return Complete();
}

std::optional<std::uint8_t> BootLoader::Complete()
{
    const std::size_t n = count_;
    count_ = 0;
    if (cmd_[n - 2] != 0x55 || cmd_[n - 1] != 0xAA) {
        return kFail;
    }
    switch (cmd_[0]) {
    case kProgramStart:
    case kFinish:
        return kGoOn;
    case kReset:
        resetRequest_ = true;
        Restart();
        return kReset;
    case kErase:
    case kHeader: {
        const int page = cmd_[1];
        if (page >= kFlashPages) {
            return kFail;
        }
        if (cmd_[0] == kErase) {
            std::fill_n(flash_.data() + page * kPageSize, kPageSize, std::uint8_t{0xFF});
            ++erases_;
        } else {
            dataPage_ = page;
            dataCount_ = 0;
            dataXor_ = 0;
        }
        return kGoOn;
    }
    default:
        return kFail;
    }
}

std::optional<std::uint8_t> BootLoader::Idle()
{
    if (dataPage_ >= 0) {
        // A data block cut short never reaches the flash.
        dataPage_ = -1;
        dataCount_ = 0;
        return std::nullopt;
    }
    if (count_ == 1 && cmd_[0] == kStart) {
        count_ = 0;
        return kReady;
    }
    count_ = 0;
    return std::nullopt;
}

}  // namespace sim
