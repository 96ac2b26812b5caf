#include "RelaySockets.h"

#include <algorithm>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace relay {

namespace {
SOCKET S(Handle h)
{
    return static_cast<SOCKET>(h);
}

qint64 Moved(int n)
{
    if (n != SOCKET_ERROR) {
        return n;
    }
    const int e = ::WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINTR || e == WSAEINPROGRESS ? kWouldBlock : kFailed;
}

bool NonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

constexpr int kMaxChunk = 1 << 30;
}  // namespace

qint64 Receive(Handle h, char* data, qint64 size)
{
    return Moved(::recv(S(h), data, static_cast<int>(std::min<qint64>(size, kMaxChunk)), 0));
}

qint64 Send(Handle h, const char* data, qint64 size)
{
    return Moved(::send(S(h), data, static_cast<int>(std::min<qint64>(size, kMaxChunk)), 0));
}

void ShutdownSending(Handle h)
{
    ::shutdown(S(h), SD_SEND);
}

void Close(Handle h)
{
    ::closesocket(S(h));
}

bool PrepareAccepted(Handle h)
{
    const BOOL noDelay = TRUE;
    ::setsockopt(S(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return NonBlocking(S(h));
}

// Windows has no socketpair(): a loopback connection to a listener that
// exists only for it. The accepted end must be the one we connected, not
// another local program that reached the listener first.
bool MakePair(Handle pair[2])
{
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof at;
    const BOOL exclusive = TRUE;
    ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    SOCKET a = INVALID_SOCKET;
    SOCKET b = INVALID_SOCKET;
    bool ok = ::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size) == 0 && ::listen(listener, 1) == 0;
    if (ok) {
        a = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ok = a != INVALID_SOCKET && ::connect(a, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
    }
    if (ok) {
        sockaddr_in from{};
        int fromSize = sizeof from;
        b = ::accept(listener, reinterpret_cast<sockaddr*>(&from), &fromSize);
        sockaddr_in mine{};
        int mineSize = sizeof mine;
        ok = b != INVALID_SOCKET && ::getsockname(a, reinterpret_cast<sockaddr*>(&mine), &mineSize) == 0 &&
             from.sin_port == mine.sin_port && from.sin_addr.s_addr == mine.sin_addr.s_addr;
    }
    ::closesocket(listener);
    ok = ok && NonBlocking(a) && NonBlocking(b);
    if (!ok) {
        if (a != INVALID_SOCKET) {
            ::closesocket(a);
        }
        if (b != INVALID_SOCKET) {
            ::closesocket(b);
        }
        return false;
    }
    const BOOL noDelay = TRUE;
    for (const SOCKET s : {a, b}) {
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    }
    pair[0] = static_cast<Handle>(a);
    pair[1] = static_cast<Handle>(b);
    return true;
}

std::pair<QHostAddress, quint16> Address(Handle h, bool peer)
{
    sockaddr_storage a{};
    int size = sizeof a;
    auto* sa = reinterpret_cast<sockaddr*>(&a);
    if ((peer ? ::getpeername(S(h), sa, &size) : ::getsockname(S(h), sa, &size)) != 0) {
        return {};
    }
    const u_short port = a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&a)->sin6_port
                                                 : reinterpret_cast<const sockaddr_in*>(&a)->sin_port;
    return {QHostAddress(sa), ntohs(port)};
}

// Sockets are kernel handles on Windows, with no per-process budget to fit.
int FitConnections(int wanted, int, int)
{
    return wanted;
}

}  // namespace relay
