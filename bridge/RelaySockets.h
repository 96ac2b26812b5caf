// The socket calls under HttpGuard's relay, the part of it that differs
// between POSIX and Windows: a connected pair of local stream sockets,
// non-blocking reads and writes on a descriptor, and the open-file budget.
#pragma once

#include <QHostAddress>
#include <QtGlobal>

#include <utility>

namespace relay {

using Handle = qintptr;
constexpr Handle kNoHandle = -1;

// What a read or write moved: > 0 bytes (a write: >= 0), 0 the peer's end
// (a read), kWouldBlock nothing now, kFailed the connection is gone.
constexpr qint64 kWouldBlock = -1;
constexpr qint64 kFailed = -2;

qint64 Receive(Handle h, char* data, qint64 size);
qint64 Send(Handle h, const char* data, qint64 size);
// Our end of the stream ends; what the peer sends can still be read.
void ShutdownSending(Handle h);
void Close(Handle h);

// An accepted connection made non-blocking, with Nagle's algorithm off
// (live messages are small and must not wait for the acknowledgement of
// the one before). False: it cannot be used.
bool PrepareAccepted(Handle h);
// Two connected, non-blocking stream sockets that only this process holds.
bool MakePair(Handle pair[2]);
// The address and port at either end of a connected socket.
std::pair<QHostAddress, quint16> Address(Handle h, bool peer);

// How many connections of `perConnection` descriptors each fit beside
// `others` more, at most `wanted`: the process's limit is raised as far as
// the system allows first.
int FitConnections(int wanted, int perConnection, int others);

}  // namespace relay
