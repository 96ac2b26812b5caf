// Forced into the few sources of a Windows build that use POSIX calls the C
// runtime there names differently (the simulator's state file, the test
// programs' main): the same calls, mapped onto the runtime's equivalents.
#pragma once

#include <direct.h>
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <cstring>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif

inline int fsync(int fd) { return _commit(fd); }

inline int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && std::getenv(name) != nullptr) {
        return 0;
    }
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline char* mkdtemp(char* pattern)
{
    if (_mktemp_s(pattern, std::strlen(pattern) + 1) != 0 || _mkdir(pattern) != 0) {
        return nullptr;
    }
    return pattern;
}
