// LUpdate: the boot-loader conversation that erases and programs the
// device's microcontroller, one page at a time. It is driven entirely by the
// replies the window hands it (OnReply); every action on the outside world
// goes through an UpdateHost, so the state machine runs without widgets.
//
// States: 0 waiting for the boot loader, 1 start program, 2 page erase,
// 3 programming, 4 program finish, 5 MCU reset.
#pragma once

#include "FirmwareImage.h"
#include "Lcmd.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// What the updater does to the world around it.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;
    // Raw bytes, unlogged, appended behind anything pending.
    virtual void SendRaw(const LCmd& command) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Page count as progress; the bar clamps it to its range.
    virtual void SetProgress(int position) = 0;
    virtual bool SetBaudRate(int rate) = 0;
    // Runs action after ms on the same thread, unless the update has ended
    // by then. Must not block: replies keep arriving meanwhile.
    virtual void After(int ms, std::function<void()> action) = 0;
    virtual void Information(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    virtual void Plain(const std::string& text) = 0;
    virtual void Disconnect() = 0;
};

class LUpdate {
public:
    static constexpr int kBootLoaderBaud = 115200;
    static constexpr int kSpeedChangeDelayMs = 300;
    static constexpr int kSlotCount = 130;
    static constexpr int kSlotSize = 512;

    // Reply bytes of the device and its boot loader.
    static constexpr std::uint8_t kReplyReady = 0x21;     // "!": boot loader waits for the start
    static constexpr std::uint8_t kReplyDone = 0xAA;      // last command done
    static constexpr std::uint8_t kReplyAck = 0x01;       // framed ack of the reset into the boot loader
    static constexpr std::uint8_t kReplyRestarted = 0x04; // running the new firmware
    static constexpr std::uint8_t kReplyError = 0xE1;

    // image: firmware::kImageSize bytes (see FirmwareImage.h).
    LUpdate(UpdateHost& host, ByteVector image);

    void SetState(int state) { state_ = state; }
    int GetState() const { return state_; }
    int Page() const { return page_; }
    int Phase() const { return phase_; }
    std::uint8_t Checksum() const { return checksum_; }

    // One reply: a parsed frame's sub byte, or one raw byte. The payload is
    // not needed by any rule.
    void OnReply(std::uint8_t reply, const ByteVector& payload);
    void Step();
    void ProgramPage(int phase);
    void StartProgram();
    void FinishProgram();
    void ResetMcu();

private:
    void SwitchToBootLoaderSpeed();
    void ShowProgramming();

    UpdateHost& host_;
    ByteVector image_;

    int rowSize_ = firmware::kPageSize;
    int lastPage_ = firmware::kPages;
    int state_ = 0;
    int page_ = 0;
    int phase_ = 0;
    std::uint8_t checksum_ = 0;
    std::array<std::array<std::uint8_t, kSlotSize>, kSlotCount> slots_;
};
