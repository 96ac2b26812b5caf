// The command catalogue: one class per command the panel sends. Each class
// only fills command byte, sub byte and payload; the payload arguments come in
// line order, one byte each.
#pragma once

#include "Lcmd.h"

#include <cstddef>
#include <cstdint>

namespace sub {
// Replies and reports from the device.
inline constexpr std::uint8_t kAck = 0x01;
inline constexpr std::uint8_t kNak = 0x02;
// Commands from the panel.
inline constexpr std::uint8_t kPoll = 0x05;
inline constexpr std::uint8_t kIapReset = 0x08;
inline constexpr std::uint8_t kLine = 0xA1;
inline constexpr std::uint8_t kStereo = 0xA2;
inline constexpr std::uint8_t kMic = 0xA3;
inline constexpr std::uint8_t kManDucking = 0xA8;
inline constexpr std::uint8_t kDucking = 0xA9;
inline constexpr std::uint8_t kGanged = 0xAA;
inline constexpr std::uint8_t kSaveLoad = 0xAB;
inline constexpr std::uint8_t kMute = 0xAE;
inline constexpr std::uint8_t kInquiry = 0xAF;
inline constexpr std::uint8_t kDkMicThd = 0xB2;
inline constexpr std::uint8_t kDkStRed = 0xB3;
inline constexpr std::uint8_t kDkHold = 0xB4;
inline constexpr std::uint8_t kDkFadeOut = 0xB5;
inline constexpr std::uint8_t kDkFadeIn = 0xB6;
inline constexpr std::uint8_t kSwitch = 0xB7;
inline constexpr std::uint8_t kReset = 0xB8;
inline constexpr std::uint8_t kInquiryDx = 0xBF;
}  // namespace sub

// Channel bytes.
namespace channel {
inline constexpr std::uint8_t kLine = 0x00;
inline constexpr std::uint8_t kSubLeft = 0x01;
inline constexpr std::uint8_t kSubRight = 0x02;
inline constexpr std::uint8_t kMasterLeft = 0x03;
inline constexpr std::uint8_t kMasterRight = 0x04;
inline constexpr std::uint8_t kMic1 = 0x10;
inline constexpr std::uint8_t kMic6 = 0x15;
// Microphone n (1..6) is n + 15.
constexpr std::uint8_t Mic(int n) { return static_cast<std::uint8_t>(n + 15); }
constexpr bool IsMic(std::uint8_t c) { return c >= kMic1 && c <= kMic6; }
constexpr bool IsStereo(std::uint8_t c) { return c <= kMasterRight; }
}  // namespace channel

inline constexpr std::uint8_t kControlCommand = 0x01;

// Framed command with command byte 0x01 and up to two payload bytes.
class FramedCommand : public LCmd {
protected:
    explicit FramedCommand(std::uint8_t sub) : LCmd(kControlCommand, sub) {}
    FramedCommand(std::uint8_t sub, std::uint8_t a) : FramedCommand(sub) { Append(a); }
    FramedCommand(std::uint8_t sub, std::uint8_t a, std::uint8_t b) : FramedCommand(sub, a) { Append(b); }
};

#define KESTRA_FRAMED_1(Name, Sub)                                            \
    class Name : public FramedCommand {                                       \
    public:                                                                   \
        explicit Name(std::uint8_t value) : FramedCommand(Sub, value) {}      \
    }
#define KESTRA_FRAMED_2(Name, Sub)                                            \
    class Name : public FramedCommand {                                       \
    public:                                                                   \
        Name(std::uint8_t a, std::uint8_t b) : FramedCommand(Sub, a, b) {}    \
    }

KESTRA_FRAMED_1(CM_MCS_LINE, sub::kLine);              // line source 0..4
KESTRA_FRAMED_2(CM_MCS_STEREO, sub::kStereo);          // gain position, channel 0x00..0x04
KESTRA_FRAMED_2(CM_MCS_MIC, sub::kMic);                // gain position, channel 0x10..0x15
KESTRA_FRAMED_1(CM_MCS_MANDUCKING, sub::kManDucking);  // 0 off, 2 on
KESTRA_FRAMED_2(CM_MCS_DUCKING, sub::kDucking);        // priority flag, mic channel
KESTRA_FRAMED_2(CM_MCS_GANGED, sub::kGanged);          // ganged flag, pair 1 sub / 2 master
KESTRA_FRAMED_2(CM_MCS_SAVELOAD, sub::kSaveLoad);      // preset 0..3, 0 load / 1 save
KESTRA_FRAMED_2(CM_MCS_MUTE, sub::kMute);              // mute flag, channel
KESTRA_FRAMED_1(CM_MCS_DK_MIC_THD, sub::kDkMicThd);    // threshold 2..127
KESTRA_FRAMED_1(CM_MCS_DK_ST_RED, sub::kDkStRed);      // attenuation 0..79
KESTRA_FRAMED_1(CM_MCS_DK_HOLD, sub::kDkHold);         // hold time 1..100
KESTRA_FRAMED_1(CM_MCS_DK_FADEOUT, sub::kDkFadeOut);   // 0..63
KESTRA_FRAMED_1(CM_MCS_DK_FADEIN, sub::kDkFadeIn);     // 0..63
KESTRA_FRAMED_1(CM_MCS_SWITCH, sub::kSwitch);          // switch-on value 0..3
KESTRA_FRAMED_1(CM_MCS_RESET, sub::kReset);            // always 0x00

#undef KESTRA_FRAMED_1
#undef KESTRA_FRAMED_2

// The poll and the boot-loader request carry their sub byte as the argument.
class CM_MCS_POLLING : public FramedCommand {
public:
    explicit CM_MCS_POLLING(std::uint8_t subByte) : FramedCommand(subByte) {}
};

class CM_MCS_IAP_RESET : public FramedCommand {
public:
    explicit CM_MCS_IAP_RESET(std::uint8_t subByte) : FramedCommand(subByte) {}
};

// Inquiries take one parameter, or a parameter and a channel.
class CM_MCS_INQUIRY : public FramedCommand {
public:
    explicit CM_MCS_INQUIRY(std::uint8_t parameter) : FramedCommand(sub::kInquiry, parameter) {}
    CM_MCS_INQUIRY(std::uint8_t parameter, std::uint8_t second)
        : FramedCommand(sub::kInquiry, parameter, second) {}
};

class CM_MCS_INQUIRY_DX : public FramedCommand {
public:
    explicit CM_MCS_INQUIRY_DX(std::uint8_t parameter) : FramedCommand(sub::kInquiryDx, parameter) {}
    CM_MCS_INQUIRY_DX(std::uint8_t parameter, std::uint8_t second)
        : FramedCommand(sub::kInquiryDx, parameter, second) {}
};

// ---- Raw boot-loader commands: command and sub byte stay 0 and never go on
// the line; only the payload is sent (build mode 0).

inline constexpr std::uint8_t kBootTrailer1 = 0x55;
inline constexpr std::uint8_t kBootTrailer2 = 0xAA;

// The boot loader's first command bytes and its one-byte replies, shared by
// the updater and the simulated device.
namespace boot {
inline constexpr std::uint8_t kStart = 0x01;
inline constexpr std::uint8_t kProgramHeader = 0x01;
inline constexpr std::uint8_t kPageErase = 0x02;
inline constexpr std::uint8_t kMcuReset = 0x04;
inline constexpr std::uint8_t kProgramStart = 0x05;
inline constexpr std::uint8_t kProgramFinish = 0x06;
inline constexpr std::uint8_t kReady = 0x21;      // "!": ready to start
inline constexpr std::uint8_t kGoOn = 0xAA;       // the last command is done
inline constexpr std::uint8_t kRestarted = 0x04;  // running the new firmware
inline constexpr std::uint8_t kError = 0xE1;
}  // namespace boot

class RawCommand : public LCmd {
protected:
    RawCommand() = default;
    void AppendTrailer()
    {
        Append(kBootTrailer1);
        Append(kBootTrailer2);
    }
};

class CM_MCS_START : public RawCommand {
public:
    explicit CM_MCS_START(std::uint8_t byte) { Append(byte); }
};

// First byte then 55 AA.
class BootTrailerCommand : public RawCommand {
protected:
    explicit BootTrailerCommand(std::uint8_t first)
    {
        Append(first);
        AppendTrailer();
    }
    BootTrailerCommand(std::uint8_t first, std::uint8_t page)
    {
        Append(first);
        Append(page);
        AppendTrailer();
    }
};

class CM_MCS_PROGRAM_START : public BootTrailerCommand {
public:
    explicit CM_MCS_PROGRAM_START(std::uint8_t first) : BootTrailerCommand(first) {}
};

class CM_MCS_PAGE_EREASE : public BootTrailerCommand {
public:
    CM_MCS_PAGE_EREASE(std::uint8_t first, std::uint8_t page) : BootTrailerCommand(first, page) {}
};

class CM_MCS_PROGRAM : public BootTrailerCommand {
public:
    CM_MCS_PROGRAM(std::uint8_t first, std::uint8_t page) : BootTrailerCommand(first, page) {}
};

class CM_MCS_PROGRAM_FINISH : public BootTrailerCommand {
public:
    explicit CM_MCS_PROGRAM_FINISH(std::uint8_t first) : BootTrailerCommand(first) {}
};

class CM_MCS_MCU_RESET : public BootTrailerCommand {
public:
    explicit CM_MCS_MCU_RESET(std::uint8_t first) : BootTrailerCommand(first) {}
};

// One page of image data, copied as it is.
class CM_MCS_PROGRAM_DATA : public RawCommand {
public:
    CM_MCS_PROGRAM_DATA(const std::uint8_t* data, std::size_t length)
    {
        if (data != nullptr) {
            payload_.assign(data, data + length);
        }
    }
};
