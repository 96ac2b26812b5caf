// Which device a port number means on this platform, and the process-wide
// override that `--port NAME` and `--demo` set.
#pragma once

#include <QString>

namespace comm {

// Windows: "COMn". Linux: /dev/ttyS(n-1), so COM1..COM8 are /dev/ttyS0..7.
// macOS: /dev/cu.serialn. Numbers below 1 give an empty name (no port).
QString DefaultPortName(int portNumber);

// When non-empty, every Open uses this device path instead of the number's
// name. Thread-safe; empty string clears it.
void SetPortOverride(const QString& path);
QString PortOverride();

// The path Open really uses: the override or the number's name, with
// symlinks resolved, because the port's lock file is named after the path
// string and a link and its target must count as the same port.
QString ResolvePortPath(int portNumber);

}  // namespace comm
