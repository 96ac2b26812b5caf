// Port names: which device a port number means on this platform, the
// process-wide override that `--port NAME` and `--demo` set, and the one
// parser of the names a user types or picks (window, command line, tools).
//
// Grammar (leading and trailing blanks ignored; scheme and COM case-insensitive):
//   COMn                  n in 1..256: the platform's device for that number
//   /any/device/path      a device or pseudo-terminal (Unix)
//   ttyUSB0               a bare device name: /dev/ttyUSB0 (Unix); any name on Windows
//   tcp://HOST:PORT       raw TCP to a device server (ser2net raw, NPort "TCP server")
//   rfc2217://HOST:PORT   telnet with COM-PORT-CONTROL: the line speed is set remotely
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]);
// PORT is 1..65535 and nothing may follow it.
#pragma once

#include <QString>
#include <QtGlobal>

namespace comm {

// Windows: "COMn". Linux: /dev/ttyS(n-1), so COM1..COM8 are /dev/ttyS0..7.
// macOS: /dev/cu.serialn. Numbers below 1 give an empty name (no port).
QString DefaultPortName(int portNumber);

// When non-empty, every Open uses this name instead of the number's or the
// driver's own. Thread-safe; empty string clears it.
void SetPortOverride(const QString& path);
QString PortOverride();

// The path Open really uses for a number: the override or the number's name,
// with symlinks resolved, because the port's lock file is named after the
// path string and a link and its target must count as the same port.
QString ResolvePortPath(int portNumber);

// The name a driver opens: the override, else its own name, else the number's.
QString ResolvePortName(int portNumber, const QString& name);

struct PortAddress {
    enum class Kind { Serial, Tcp, Rfc2217 };
    Kind kind = Kind::Serial;
    QString path;      // Serial: the device (not yet canonical)
    QString host;      // network: name or address, IPv6 without brackets
    quint16 port = 0;  // network
    QString error;     // set when the name is not a port; says why and what to type
    bool Ok() const { return error.isEmpty(); }
};

PortAddress ParsePortName(const QString& name);

}  // namespace comm
