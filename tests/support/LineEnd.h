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
    ~LineEnd() { Close(); }

    bool Open(const std::string& path, int baud = 9600)
    {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0 && SetBaud(baud);
    }
    void Close()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    bool IsOpen() const { return fd_ >= 0; }

    bool SetBaud(int baud)
    {
        termios t{};
        if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) {
            return false;
        }
        ::cfmakeraw(&t);
        const speed_t s = baud == 115200 ? B115200 : baud == 19200 ? B19200 : baud == 57600 ? B57600 : B9600;
        ::cfsetispeed(&t, s);
        ::cfsetospeed(&t, s);
        return ::tcsetattr(fd_, TCSANOW, &t) == 0;
    }

    bool Write(const ByteVector& bytes)
    {
        std::size_t done = 0;
        while (fd_ >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return done == bytes.size();
    }

    // Up to `count` bytes, waiting at most `timeout` for them all.
    ByteVector Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        ByteVector out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fd_ >= 0 && out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() < 0) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) {
                continue;
            }
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                hungUp_ = true;
                if (!(p.revents & POLLIN)) {
                    break;
                }
            }
            std::uint8_t b[512];
            const ssize_t n = ::read(fd_, b, std::min(sizeof b, count - out.size()));
            if (n > 0) {
                out.insert(out.end(), b, b + n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp_ = true;
                break;
            }
        }
        return out;
    }

    // One reply frame, collected by its length byte as the panel does.
    ByteVector ReadFrame(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        ByteVector head = Read(4, timeout);
        if (head.size() < 4) {
            return head;
        }
        ByteVector rest = Read(std::size_t{head[3]} + 3, timeout);
        head.insert(head.end(), rest.begin(), rest.end());
        return head;
    }

    // Write a frame and collect one reply frame.
    ByteVector Exchange(const LCmd& cmd, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        Write(cmd.MakeFrame(1));
        return ReadFrame(timeout);
    }

    // Whatever is already waiting, without blocking long.
    ByteVector Drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(50)) { return Read(4096, quiet); }

    bool HungUp() const { return hungUp_; }
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};
