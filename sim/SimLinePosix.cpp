#include "SimLine.h"

#include "KestraSim.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

struct SpeedEntry {
    speed_t speed;
    int baud;
};
constexpr SpeedEntry kSpeeds[] = {
    {B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

speed_t SpeedConstant(int baud)
{
    for (const auto& e : kSpeeds) {
        if (e.baud == baud) {
            return e.speed;
        }
    }
    return B9600;
}

bool MakeRaw(int fd, int baud)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, SpeedConstant(baud));
    ::cfsetospeed(&t, SpeedConstant(baud));
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

int SpeedOf(int fd)
{
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
        return 0;
    }
    return BaudOf(::cfgetospeed(&t));
}

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

int BaudOf(unsigned speed)
{
    for (const auto& e : kSpeeds) {
        if (e.speed == speed) {
            return e.baud;
        }
    }
    return 0;
}

bool SimLine::Begin()
{
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wake_ >= 0;
}

void SimLine::End()
{
    if (wake_ < 0) {
        return;
    }
    Close();
    CloseFd(wake_);
    RemoveLink();
}

bool SimLine::Open(int baud)
{
    if (!options_.device.empty()) {
        line_ = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (line_ < 0) {
            return false;
        }
        MakeRaw(line_, baud);
        path_ = options_.device;
        return true;
    }
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return false;
    }
    char name[128] = {};
    if (::ttyname_r(slave, name, sizeof name) != 0) {
        ::close(master);
        ::close(slave);
        return false;
    }
    // Raw from the start: a cooked slave would echo our replies back to us.
    MakeRaw(slave, kFirmwareBaud);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    line_ = master;
    keep_ = slave;
    path_ = name;
    if (!options_.linkPath.empty()) {
        const std::string temp = options_.linkPath + ".new";
        ::unlink(temp.c_str());
        if (::symlink(path_.c_str(), temp.c_str()) != 0 || std::rename(temp.c_str(), options_.linkPath.c_str()) != 0) {
            ::unlink(temp.c_str());
        }
    }
    return true;
}

void SimLine::Close()
{
    CloseFd(line_);
    CloseFd(keep_);
}

void SimLine::RemoveLink()
{
    if (!options_.linkPath.empty()) {
        ::unlink(options_.linkPath.c_str());
    }
}

std::string SimLine::Path() const
{
    return options_.linkPath.empty() ? path_ : options_.linkPath;
}

void SimLine::Wake()
{
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }
}

void SimLine::PrepareThread()
{
    // A byte is due at its time on the wire; the system's default timer slack
    // (50 us) would make every emulated reply late by up to that much.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
}

SimLine::Ready SimLine::Wait(std::optional<Clock::time_point> until)
{
    Ready ready;
    ready.line = line_;
    timespec timeout{};
    if (until) {
        const auto wait = std::max(std::chrono::nanoseconds(0), *until - Clock::now());
        timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
    }
    pollfd fds[2] = {{wake_, POLLIN, 0}, {ready.line, POLLIN, 0}};
    if (::ppoll(fds, ready.line >= 0 ? 2 : 1, until ? &timeout : nullptr, nullptr) < 0) {
        ready.failed = errno != EINTR;
        return ready;
    }
    if (fds[0].revents & POLLIN) {
        std::uint64_t count;
        [[maybe_unused]] auto n = ::read(wake_, &count, sizeof count);
    }
    ready.input = ready.line >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR));
    return ready;
}

SimLine::Taken SimLine::Take(const Ready& ready, std::uint8_t* buffer, std::size_t size)
{
    Taken taken;
    if (!ready.input || ready.line != line_) {
        return taken;
    }
    const ssize_t n = ::read(line_, buffer, size);
    if (n > 0) {
        taken.bytes = static_cast<std::size_t>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        // The serial device went away: stop listening rather than spin.
        taken.gone = true;
    }
    return taken;
}

std::size_t SimLine::Write(const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (line_ >= 0 && done < size) {
        const ssize_t n = ::write(line_, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void SimLine::DiscardUnread()
{
    if (keep_ >= 0) {
        ::tcflush(keep_, TCIFLUSH);
    }
}

std::optional<int> SimLine::FarSpeed() const
{
    return keep_ >= 0 ? std::optional<int>(SpeedOf(keep_)) : std::nullopt;
}

int SimLine::LineSpeed() const
{
    return keep_ >= 0 ? SpeedOf(keep_) : SpeedOf(line_);
}

bool SimLine::SetDeviceSpeed(int baud)
{
    if (options_.device.empty() || line_ < 0) {
        return false;
    }
    ::tcdrain(line_);  // the last reply still goes out at the old speed
    MakeRaw(line_, baud);
    return true;
}

}  // namespace sim
