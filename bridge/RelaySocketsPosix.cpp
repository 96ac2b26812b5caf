#include "RelaySockets.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace relay {

namespace {
qint64 Moved(ssize_t n)
{
    if (n >= 0) {
        return n;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}
}  // namespace

qint64 Receive(Handle h, char* data, qint64 size)
{
    return Moved(::recv(static_cast<int>(h), data, static_cast<size_t>(size), 0));
}

qint64 Send(Handle h, const char* data, qint64 size)
{
    // A peer that went away is an error here, not a SIGPIPE.
    return Moved(::send(static_cast<int>(h), data, static_cast<size_t>(size), MSG_NOSIGNAL));
}

void ShutdownSending(Handle h)
{
    ::shutdown(static_cast<int>(h), SHUT_WR);
}

void Close(Handle h)
{
    ::close(static_cast<int>(h));
}

bool PrepareAccepted(Handle h)
{
    const int fd = static_cast<int>(h);
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

bool MakePair(Handle pair[2])
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        return false;
    }
    pair[0] = fds[0];
    pair[1] = fds[1];
    return true;
}

std::pair<QHostAddress, quint16> Address(Handle h, bool peer)
{
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    auto* sa = reinterpret_cast<sockaddr*>(&a);
    const int fd = static_cast<int>(h);
    if ((peer ? ::getpeername(fd, sa, &size) : ::getsockname(fd, sa, &size)) != 0) {
        return {};
    }
    const in_port_t port = a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&a)->sin6_port
                                                   : reinterpret_cast<const sockaddr_in*>(&a)->sin_port;
    return {QHostAddress(sa), ntohs(port)};
}

int FitConnections(int wanted, int perConnection, int others)
{
    // The soft open-file limit (1,024 in many a shell) is raised as far as
    // the cap needs and the hard limit allows; out of descriptors, accepting fails.
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0) {
        return wanted;
    }
    const rlim_t other = static_cast<rlim_t>(others);
    const rlim_t want = static_cast<rlim_t>(wanted) * static_cast<rlim_t>(perConnection) + other;
    if (const rlimit raised{std::min(want, r.rlim_max), r.rlim_max}; r.rlim_cur < want && ::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
        r = raised;
    }
    const rlim_t fit = (r.rlim_cur - std::min(r.rlim_cur, other)) / static_cast<rlim_t>(perConnection);
    return static_cast<int>(std::clamp<rlim_t>(fit, 1, static_cast<rlim_t>(wanted)));
}

}  // namespace relay
