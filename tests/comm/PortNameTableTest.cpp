// The one parser of port names, as a table: what each name opens, or why it
// is not a port.
#include "PortErrors.h"
#include "PortName.h"

#include <gmock/gmock.h>

namespace {

using Kind = comm::PortAddress::Kind;
using testing::HasSubstr;

struct NameCase {
    const char* name;
    Kind kind;
    const char* pathOrHost;  // "" with an error
    int port;
    const char* errorPart;  // nullptr: a valid name
};

TEST(PortNameTable, ParsesEveryFormAndExplainsBadNames)
{
    const NameCase cases[] = {
        {"COM1", Kind::Serial, "/dev/ttyS0", 0, nullptr},
        {" com12 ", Kind::Serial, "/dev/ttyS11", 0, nullptr},
        {"/dev/ttyUSB0", Kind::Serial, "/dev/ttyUSB0", 0, nullptr},
        {"ttyACM0", Kind::Serial, "/dev/ttyACM0", 0, nullptr},
        {"tcp://127.0.0.1:2000", Kind::Tcp, "127.0.0.1", 2000, nullptr},
        {"TCP://nport-7.example:4001", Kind::Tcp, "nport-7.example", 4001, nullptr},
        {"rfc2217://[::1]:65535", Kind::Rfc2217, "::1", 65535, nullptr},
        {"rfc2217://[fe80::1%eth0]:7000", Kind::Rfc2217, "fe80::1%eth0", 7000, nullptr},
        {"", Kind::Serial, "", 0, "No port given"},
        {"COM999", Kind::Serial, "", 0, "numbered 1 to 256"},
        {"dev/ttyUSB0", Kind::Serial, "", 0, "is not a port"},
        {"udp://127.0.0.1:9", Kind::Serial, "", 0, "Unknown kind of port \"udp://\""},
        {"tcp://127.0.0.1", Kind::Serial, "", 0, "lacks the port number: use tcp://HOST:PORT"},
        {"tcp://:2000", Kind::Serial, "", 0, "names no host"},
        {"tcp://::1:2000", Kind::Serial, "", 0, "Put an IPv6 address in brackets: tcp://[::1]:2000"},
        {"tcp://[::1:2000", Kind::Serial, "", 0, "never closes it"},
        {"tcp://[127.0.0.1]:2000", Kind::Serial, "", 0, "is not an IPv6 address"},
        {"tcp://ho st:2000", Kind::Serial, "", 0, "\"ho st\" is not a host name"},
        {"tcp://host:65536", Kind::Serial, "", 0, "\"65536\" is not a TCP port"},
        {"tcp://host:2000/x", Kind::Serial, "", 0, "\"2000/x\" is not a TCP port"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const comm::PortAddress a = comm::ParsePortName(QString::fromUtf8(c.name));
        if (c.errorPart != nullptr) {
            EXPECT_THAT(a.error.toStdString(), HasSubstr(c.errorPart));
            continue;
        }
        ASSERT_TRUE(a.Ok()) << a.error.toStdString();
        EXPECT_EQ(a.kind, c.kind);
        EXPECT_EQ((c.kind == Kind::Serial ? a.path : a.host).toStdString(), c.pathOrHost);
        EXPECT_EQ(a.port, c.port);
    }
}

TEST(PortNameTable, OverrideThenOwnNameThenNumber)
{
    EXPECT_EQ(comm::ResolvePortName(3, {}), "/dev/ttyS2");
    EXPECT_EQ(comm::ResolvePortName(3, "tcp://127.0.0.1:9"), "tcp://127.0.0.1:9");
    comm::SetPortOverride("/dev/pts/9");
    EXPECT_EQ(comm::ResolvePortName(3, "tcp://127.0.0.1:9"), "/dev/pts/9");
    comm::SetPortOverride({});
}

// Causes a test cannot bring about without leaving 127.0.0.1 (the others
// are opened for real in NetworkPortTest).
TEST(PortNameTable, UnreachableHostsAreNamed)
{
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::HostNotFoundError, "mixer.local", 4001, {}),
              "The host \"mixer.local\" could not be found. Check its name.");
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::SocketTimeoutError, "10.0.0.9", 4001, {}),
              "No answer from 10.0.0.9 on port 4001.");
}

}  // namespace
