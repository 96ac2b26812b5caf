// kestractl: read, set, back up and restore a KESTRA from the command line.
//
//   kestractl [--port NAME]... [--demo] [--json] [--timeout MS] COMMAND
//
// Exit codes: 0 success, 1 a device or link failed, 2 usage or a bad file.
// A QCoreApplication must exist; the command runs on every port at once,
// one thread and session each.
#pragma once

#include <ostream>
#include <string>
#include <vector>

inline constexpr int kExitOk = 0;
inline constexpr int kExitDevice = 1;
inline constexpr int kExitUsage = 2;

// args without the program name.
int RunKestractl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
