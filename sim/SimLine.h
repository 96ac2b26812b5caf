// The simulated KESTRA's end of the line, one file per platform: a new
// pseudo-terminal or a given serial device (SimLinePosix.cpp), or a loopback
// TCP port that one client at a time connects to (SimLineLoopback.cpp, on
// Windows, which has no pseudo-terminals). KestraSim holds its lock for every
// call but Wait (its serving thread, between two locked turns) and Wake (any
// thread).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

struct SimOptions;

class SimLine {
public:
    using Clock = std::chrono::steady_clock;
    // What Wait found ready: the descriptors it watched, so that Take acts
    // only on those still open.
    struct Ready {
        int line = -1;
        bool input = false;
        int listener = -1;
        bool caller = false;
        bool failed = false;  // the wait itself failed: the serving thread ends
    };
    // What Take did.
    struct Taken {
        std::size_t bytes = 0;      // read into the buffer
        bool connected = false;     // a new client took the line
        bool disconnected = false;  // the client left; the next one may come
        bool gone = false;          // the line itself went away (an unplugged adapter)
    };

    explicit SimLine(const SimOptions& options) : options_(options) {}
    ~SimLine() { End(); }
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // The wake-up, before the first Open; End undoes it (and closes), once.
    bool Begin();
    void End();
    // Opens the line (again) at the device's speed.
    bool Open(int baud);
    void Close();
    // Vanished: the link to the line, if one was asked for, goes too.
    void RemoveLink();
    // The name the panel opens.
    std::string Path() const;
    void Wake();
    // On the serving thread, once, before its first Wait.
    void PrepareThread();
    // Until input, a wake-up or `until` (none: without end).
    Ready Wait(std::optional<Clock::time_point> until);
    Taken Take(const Ready& ready, std::uint8_t* buffer, std::size_t size);
    // What the line takes of `size` bytes now (less when nobody drains it).
    std::size_t Write(const std::uint8_t* data, std::size_t size);
    // Drops what the far end has not read.
    void DiscardUnread();
    // The speed the far end set on a pseudo-terminal; none when the line has
    // none to check (a serial device, a socket).
    std::optional<int> FarSpeed() const;
    // The line's speed as the far end set it, 0 if unknown.
    int LineSpeed() const;
    // The device changes its own speed (a serial device follows; the last
    // reply still goes out at the old one). False: not taken yet (no line).
    bool SetDeviceSpeed(int baud);

private:
    const SimOptions& options_;
    int line_ = -1;  // pty master, the serial device, or the connected client
    int keep_ = -1;  // our own pty slave (no hang-up when the panel closes; its termios), or the listener
    int wake_ = -1;
    std::string path_;
};

}  // namespace sim
