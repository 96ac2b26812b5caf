// The KESTRA's boot loader: raw byte commands at 115200 baud, one reply byte
// per command, and a flash of 112 pages of 64 bytes.
//
//   Received               Reply       Effect
//   01 (before "!")        21 "!"      boot loader started
//   05 55 AA               AA          programming started
//   02 page 55 AA          AA          page erased (all bytes FF)
//   01 page 55 AA          AA          header: the next 64 bytes are that page's data
//   64 data bytes          XOR of them page programmed (flash bits only go 1 -> 0,
//                                      so data written over an unerased page is ANDed)
//   06 55 AA               AA          programming finished
//   04 55 AA               04          reset into the regular firmware (9600 baud)
//   anything else          E1          the command is dropped; a page number
//                                      outside 0..111 or a wrong trailer counts too
//
// After "!" the byte 01 opens a header; a lone 01 followed by a pause on the
// line (Idle()) is taken as a new start and answered "!" again, which is how
// an updater that restarts against a waiting boot loader gets going.
#pragma once

#include "Lcmd.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sim {

inline constexpr int kFlashPages = 112;
inline constexpr int kPageSize = 64;
using Flash = std::array<std::uint8_t, kFlashPages * kPageSize>;

class BootLoader {
public:
    BootLoader();

    // Takes one received byte; returns the reply byte when it completes a command.
    std::optional<std::uint8_t> Feed(std::uint8_t byte);
    // The line has been quiet for a while: settles a lone start byte, drops
    // any other incomplete command (without reply, as noise would be).
    std::optional<std::uint8_t> Idle();
    // Start over waiting for the start byte (a fresh entry from the firmware).
    void Restart();

    // True once after the MCU reset command was answered.
    bool TakeResetRequest();
    bool Started() const { return started_; }
    bool PartialCommand() const { return count_ > 0 || dataPage_ >= 0; }

    const Flash& Memory() const { return flash_; }
    // The bytes of one page (0..111).
    ByteVector Page(int page) const;
    // Number of pages erased / programmed since construction.
    int Erases() const { return erases_; }
    int Programs() const { return programs_; }

private:
    std::optional<std::uint8_t> Complete();

    Flash flash_{};
    bool started_ = false;
    bool resetRequest_ = false;
    std::array<std::uint8_t, 4> cmd_{};
    std::size_t count_ = 0;
    int dataPage_ = -1;  // page awaiting its data block, or -1
    std::size_t dataCount_ = 0;
    std::uint8_t dataXor_ = 0;
    std::array<std::uint8_t, kPageSize> data_{};
    int erases_ = 0;
    int programs_ = 0;
};

}  // namespace sim
