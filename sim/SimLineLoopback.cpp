// The simulated KESTRA's line on Windows, which has no pseudo-terminals: the
// device listens on a loopback TCP port and Start() returns
// "tcp://127.0.0.1:PORT", a port name the panel and kestractl open like any
// network serial line. One client at a time, as one cable: a new connection
// replaces the old one, as a panel reopening its port would.
//
// A TCP stream carries no line speed, so the speed check of the
// pseudo-terminal line does not apply and LineBaud() is 0; wire-speed
// emulation still paces the replies. Serving a real COM port (kestra-sim's
// --device) is not offered here.
#include "SimLine.h"

#include "KestraSim.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

namespace sim {

namespace {

// Kernel handles, sockets included, carry 32 significant bits on 64-bit
// Windows (so that 32-bit processes can share them), so they fit int.
SOCKET Sock(int fd) { return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd)); }
int Fd(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::closesocket(Sock(fd));
        fd = -1;
    }
}

bool SetNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

// A UDP socket connected to itself: Wake() sends it a byte, which ends the
// serving thread's WSAPoll, as the eventfd does on Linux.
SOCKET SelfWakingSocket()
{
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0
        || ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !SetNonBlocking(s)) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

int BaudOf(unsigned) { return 0; }

bool SimLine::Begin()
{
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        return false;
    }
    wake_ = Fd(SelfWakingSocket());
    if (wake_ < 0) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void SimLine::End()
{
    if (wake_ < 0) {
        return;
    }
    Close();
    CloseFd(wake_);
    ::WSACleanup();
}

// keep_ is the listening socket, line_ the connected client (-1 while none
// is). Reopening after Vanish() takes the same port again, so that a client
// holding the old name finds the device back.
bool SimLine::Open(int)
{
    if (!options_.device.empty()) {
        return false;
    }
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned port = 0;
    const auto colon = path_.rfind(':');
    if (colon != std::string::npos) {
        port = static_cast<unsigned>(std::stoul(path_.substr(colon + 1)));
    }
    a.sin_port = htons(static_cast<u_short>(port));
    int len = sizeof a;
    // Exclusive: no other program may take over the device's port.
    BOOL exclusive = TRUE;
    ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0 || !SetNonBlocking(listener)) {
        ::closesocket(listener);
        return false;
    }
    keep_ = Fd(listener);
    path_ = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return true;
}

void SimLine::Close()
{
    CloseFd(line_);
    CloseFd(keep_);
}

void SimLine::RemoveLink() {}

std::string SimLine::Path() const { return path_; }

void SimLine::Wake()
{
    if (wake_ >= 0) {
        const char one = 1;
        ::send(Sock(wake_), &one, 1, 0);
    }
}

void SimLine::PrepareThread() {}

SimLine::Ready SimLine::Wait(std::optional<Clock::time_point> until)
{
    Ready ready;
    ready.line = line_;
    ready.listener = keep_;
    int timeoutMs = -1;
    if (until) {
        // WSAPoll counts whole milliseconds: round up, never wake early.
        const auto wait = std::max(std::chrono::nanoseconds(0), *until - Clock::now());
        timeoutMs = static_cast<int>((wait.count() + 999'999) / 1'000'000);
    }
    WSAPOLLFD fds[3] = {};
    ULONG count = 0;
    fds[count++] = {Sock(wake_), POLLRDNORM, 0};
    const ULONG lineAt = count;
    if (ready.line >= 0) {
        fds[count++] = {Sock(ready.line), POLLRDNORM, 0};
    }
    const ULONG listenerAt = count;
    if (ready.listener >= 0) {
        fds[count++] = {Sock(ready.listener), POLLRDNORM, 0};
    }
    if (::WSAPoll(fds, count, timeoutMs) == SOCKET_ERROR) {
        ready.failed = true;
        return ready;
    }
    if (fds[0].revents & POLLRDNORM) {
        char drain[64];
        while (::recv(Sock(wake_), drain, sizeof drain, 0) > 0) {
        }
    }
    ready.input = ready.line >= 0 && (fds[lineAt].revents & (POLLRDNORM | POLLHUP | POLLERR));
    ready.caller = ready.listener >= 0 && (fds[listenerAt].revents & POLLRDNORM);
    return ready;
}

SimLine::Taken SimLine::Take(const Ready& ready, std::uint8_t* buffer, std::size_t size)
{
    Taken taken;
    if (ready.caller && ready.listener == keep_) {
        SOCKET client = ::accept(Sock(keep_), nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            SetNonBlocking(client);
            BOOL noDelay = TRUE;  // a frame is a few bytes: send each reply at once
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
            CloseFd(line_);
            line_ = Fd(client);
            taken.connected = true;
        }
    }
    if (ready.input && ready.line >= 0 && ready.line == line_) {
        const int n = ::recv(Sock(line_), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
        if (n > 0) {
            taken.bytes = static_cast<std::size_t>(n);
        } else if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
            // The client closed its port; the device waits for the next one.
            CloseFd(line_);
            taken.disconnected = true;
        }
    }
    return taken;
}

std::size_t SimLine::Write(const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (line_ >= 0 && done < size) {
        const int n = ::send(Sock(line_), reinterpret_cast<const char*>(data + done), static_cast<int>(size - done), 0);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void SimLine::DiscardUnread() {}

std::optional<int> SimLine::FarSpeed() const { return std::nullopt; }

int SimLine::LineSpeed() const { return 0; }

bool SimLine::SetDeviceSpeed(int) { return true; }

}  // namespace sim
