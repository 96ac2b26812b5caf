// Test helper: the panel's end of a serial line (a pseudo-terminal slave or
// any tty), raw 8N1 at a chosen speed, with reads bounded by a deadline.
#pragma once

#include "Lcmd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

class LineEnd {
public:
    LineEnd() = default;
    LineEnd(const LineEnd&) = delete;
    LineEnd& operator=(const LineEnd&) = delete;
    ~LineEnd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool Open(const std::string& path)  // once, at 9600 baud
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0 && SetBaud(9600);
    }
    bool SetBaud(int baud)  // 9600 or 115200
    {
        termios t{};
        if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) {
            return false;
        }
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, baud == 115200 ? B115200 : B9600);
        return ::tcsetattr(fd_, TCSANOW, &t) == 0;
    }
    // Frames are far smaller than the terminal's buffer: one write takes them whole.
    bool Write(const ByteVector& bytes) { return fd_ >= 0 && ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }

    // Up to `count` bytes, waiting at most `timeout` for them all.
    ByteVector Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        ByteVector out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fd_ >= 0 && out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() < 0 || ::poll(&p, 1, static_cast<int>(left.count()) + 1) < 0) {
                break;
            }
            std::uint8_t b[512];
            const ssize_t n = p.revents & POLLIN ? ::read(fd_, b, std::min(sizeof b, count - out.size())) : 0;
            if (n > 0) {
                out.insert(out.end(), b, b + n);
            } else if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                break;  // hung up
            }
        }
        return out;
    }

private:
    int fd_ = -1;
};
