// Forced into the simulator's sources in a Windows build: the few POSIX
// names its state file uses, mapped onto the C runtime's equivalents.
#pragma once

#include <fcntl.h>
#include <io.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif

inline int fsync(int fd) { return _commit(fd); }
