#include "LUpdate.h"

#include "Commands.h"

#include <algorithm>

namespace {
using boot::kMcuReset;
using boot::kPageErase;
using boot::kProgramFinish;
using boot::kProgramHeader;
using boot::kProgramStart;
using boot::kStart;
constexpr std::uint8_t kErasedByte = 0xFF;
}  // namespace

LUpdate::LUpdate(UpdateHost& host, ByteVector image) : host_(host), image_(std::move(image))
{
    // The image supplies pages 0..110 but page 111 is programmed too: it gets
    // what an erased page holds rather than whatever memory happens to hold.
    image_.resize(firmware::kImageSize, kErasedByte);
    for (auto& slot : slots_) {
        slot.fill(kErasedByte);
    }
}

void LUpdate::OnReply(std::uint8_t reply, const ByteVector& /*payload*/)
{
    if (reply == kReplyReady && state_ == 0) {
        state_ = 1;
        Step();
    } else if (phase_ == 2 && reply == checksum_) {
        if (page_ > lastPage_) {
            state_ = 4;
            Step();
        } else {
            phase_ = 1;
            ProgramPage(1);
        }
    } else if (reply == kReplyAck) {
        // The device restarts into its boot loader; give it time before the
        // line changes speed. The wait must not hold up the event loop.
        host_.After(kSpeedChangeDelayMs, [this] { SwitchToBootLoaderSpeed(); });
    } else if (reply == kReplyRestarted) {
        host_.SetStatusText("Update OK");
        host_.Information("Update OK , Please ReConnect!!");
        host_.Disconnect();
    } else if (reply == kReplyDone) {
        Step();
    } else if (reply == kReplyError) {
        host_.Error("Error Recommand !!");
    }
}

void LUpdate::SwitchToBootLoaderSpeed()
{
    if (host_.SetBaudRate(kBootLoaderBaud)) {
        host_.SendRaw(CM_MCS_START(kStart));
    } else {
        host_.Plain("Error");
    }
}

void LUpdate::Step()
{
    switch (state_) {
    case 0:
        // "Done" before the boot loader announced itself: not a boot loader.
        host_.Disconnect();
        break;
    case 1:
        host_.SetStatusText("Start Program");
        StartProgram();
        break;
    case 2:
        host_.SetStatusText("Page Erase");
        if (page_ < lastPage_) {
            host_.SendRaw(CM_MCS_PAGE_EREASE(kPageErase, static_cast<std::uint8_t>(page_)));
            ++page_;
            host_.SetProgress(page_);
        } else if (page_ == lastPage_) {
            state_ = 3;
            phase_ = 1;
            host_.SendRaw(CM_MCS_PAGE_EREASE(kPageErase, static_cast<std::uint8_t>(page_)));
            page_ = 0;
        }
        break;
    case 3:
        ShowProgramming();
        ProgramPage(phase_);
        break;
    case 4:
        host_.SetStatusText("Program Finish");
        FinishProgram();
        break;
    case 5:
        host_.SetStatusText("MCU Reset");
        ResetMcu();
        break;
    default:
        break;
    }
}

void LUpdate::ShowProgramming()
{
    host_.SetStatusText("Programming" + std::to_string(page_));
}

void LUpdate::ProgramPage(int phase)
{
    checksum_ = 0;
    for (int row = 0; row < lastPage_; ++row) {
        const auto from = image_.begin() + static_cast<std::ptrdiff_t>(row) * rowSize_;
        std::copy(from, from + rowSize_, slots_[static_cast<std::size_t>(row)].begin());
    }
    // The page never passes last page + 1; a state set from outside must not
    // reach beyond the slots either.
    if (page_ < 0 || page_ >= kSlotCount) {
        return;
    }
    if (phase == 1) {
        phase_ = 2;
        host_.SendRaw(CM_MCS_PROGRAM(kProgramHeader, static_cast<std::uint8_t>(page_)));
    } else if (phase == 2) {
        const auto& slot = slots_[static_cast<std::size_t>(page_)];
        std::uint8_t sum = 0;
        for (int i = 0; i < rowSize_; ++i) {
            sum ^= slot[static_cast<std::size_t>(i)];
        }
        checksum_ = sum;
        host_.SendRaw(CM_MCS_PROGRAM_DATA(slot.data(), static_cast<std::size_t>(rowSize_)));
        if (page_ <= lastPage_) {
            ++page_;
            host_.SetProgress(page_);
            ShowProgramming();
        }
    }
}

void LUpdate::StartProgram()
{
    state_ = 2;
    host_.SendRaw(CM_MCS_PROGRAM_START(kProgramStart));
}

void LUpdate::FinishProgram()
{
    state_ = 5;
    host_.SendRaw(CM_MCS_PROGRAM_FINISH(kProgramFinish));
}

void LUpdate::ResetMcu()
{
    host_.SetProgress(0);
    host_.SendRaw(CM_MCS_MCU_RESET(kMcuReset));
}
