// The simulated KESTRA on a serial line: a new pseudo-terminal (the panel
// opens the returned slave path) or a given serial device, served by its own
// thread. Everything public is thread-safe, so tests on another thread can
// drive the panel and watch what the device received.
//
//   sim::KestraSim device;
//   std::string path = device.Start();   // e.g. "/dev/pts/5"
//   ... let the panel open `path` ...
//   device.WaitForReceived(49, 5s);
#pragma once

#include "SimDevice.h"
#include "SimLine.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

struct SimOptions {
    std::string device;     // serve this serial device; empty: a new pseudo-terminal
    std::string linkPath;   // keep a symbolic link here to the current pseudo-terminal
    std::string stateFile;  // device memory: loaded at start, written after each change
    bool wireSpeed = false;  // emulate 10 bits per byte at the device's baud rate
    bool bootLoader = false;  // start in the boot loader (an interrupted update)
    bool checkLineSpeed = true;  // bytes at a speed other than the device's are garbage
    int idleMs = 50;  // quiet time after which partial input is given up
    unsigned speech = 0;  // microphones with speech from the start (bit n-1: mic n)
    bool keepReceived = true;  // record every received frame for Received(); off for long runs
    Choices choices;  // the legal answers it gives (Choices.h); the default is Firmware.h's table
};

class KestraSim {
public:
    explicit KestraSim(SimOptions options = {});
    ~KestraSim();
    KestraSim(const KestraSim&) = delete;
    KestraSim& operator=(const KestraSim&) = delete;

    // Opens the line and starts serving; returns the path for the panel
    // (the link path when one was asked for), or "" when the line cannot be opened.
    std::string Start();
    void Stop();
    std::string Path() const;

    // What the device received: every frame, or every boot-loader command and
    // data block, in order.
    std::vector<ByteVector> Received() const;
    std::size_t ReceivedCount() const;
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    void ClearReceived();
    // Drops replies nobody has read yet, as a closed serial port loses them;
    // a pseudo-terminal would keep them for the next program to open it.
    void DiscardUnread();
    // Waits until `done` holds for the device (checked after every change).
    bool WaitUntil(const std::function<bool(const SimDevice&)>& done, std::chrono::milliseconds timeout) const;

    DeviceState State() const;
    void SetState(const DeviceState& state);
    void RandomiseState(std::uint32_t seed);
    Flash FlashContents() const;
    bool InBootLoader() const;
    int DeviceBaud() const;
    // The speed the far end set on the line (the pseudo-terminal's termios), 0 if unknown.
    int LineBaud() const;
    // Bytes heard at the wrong line speed and thrown away as garbage.
    std::size_t GarbledBytes() const;
    std::size_t RepliesSent() const;

    void SetSpeech(unsigned micMask);
    bool DuckingActive() const;
    void SetFault(const Fault& fault);
    // Takes effect from the next frame; counting for busy and late starts again.
    void SetChoices(const Choices& choices);
    Choices CurrentChoices() const;
    void SetWireSpeed(bool on);

    // Closes the line as an unplugged adapter would: the panel's port hangs up.
    void Vanish();
    // Plugs back in: a new pseudo-terminal (the link, if any, follows it) or
    // the device reopened. Returns the path as Start() does.
    std::string Reappear();
    bool Vanished() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::uint8_t byte;
    };

    bool OpenLine();
    void CloseLine();
    void Run();
    void Wake();
    void HandleInput(const std::uint8_t* data, std::size_t size, Clock::time_point now);
    void Emit(std::vector<Reply> replies, Clock::time_point from);
    void FlushDue(Clock::time_point now);
    void AfterChange();
    std::int64_t NowMs(Clock::time_point t) const;
    void SetDeviceSpeed(int baud);

    SimOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    SimDevice device_;
    std::thread thread_;
    bool running_ = false;
    bool stop_ = false;
    bool vanished_ = false;
    SimLine line_{options_};
    std::deque<Pending> pending_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastInput_{};
    Clock::time_point rxFree_{};
    Clock::time_point txFree_{};
    std::size_t garbled_ = 0;
    std::size_t replies_ = 0;
    std::uint64_t savedRevision_ = 0;
    int deviceSpeedSet_ = 0;
    enum class Request { None, Vanish, Reappear } request_ = Request::None;
    bool reappearFailed_ = false;
};

// Baud rate of a termios speed constant, 0 when not a standard one.
int BaudOf(unsigned speed);

}  // namespace sim
