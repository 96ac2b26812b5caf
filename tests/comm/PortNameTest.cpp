// The one parser of port names, as a table: what each name opens, or why it
// is not a port; and the words a failed open leaves for the user.
#include "Lcomm.h"
#include "PortErrors.h"
#include "PortName.h"
#include "PtyPeer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace {

using Kind = comm::PortAddress::Kind;
using testing::HasSubstr;

TEST(PortName, ParsesEveryFormAndExplainsBadNames)
{
    struct Case {
        const char* name;
        Kind kind;
        const char* pathOrHost;
        int port;
    };
    const Case valid[] = {
        {"COM1", Kind::Serial, "/dev/ttyS0", 0}, {" com12 ", Kind::Serial, "/dev/ttyS11", 0},
        {"/dev/ttyUSB0", Kind::Serial, "/dev/ttyUSB0", 0}, {"ttyACM0", Kind::Serial, "/dev/ttyACM0", 0},
        {"tcp://127.0.0.1:2000", Kind::Tcp, "127.0.0.1", 2000},
        {"TCP://nport-7.example:4001", Kind::Tcp, "nport-7.example", 4001},
        {"rfc2217://[::1]:65535", Kind::Rfc2217, "::1", 65535},
        {"rfc2217://[fe80::1%eth0]:7000", Kind::Rfc2217, "fe80::1%eth0", 7000},
    };
    for (const Case& c : valid) {
        const comm::PortAddress a = comm::ParsePortName(QString::fromUtf8(c.name));
        ASSERT_TRUE(a.Ok()) << c.name << ": " << a.error.toStdString();
        EXPECT_EQ(a.kind, c.kind) << c.name;
        EXPECT_EQ((c.kind == Kind::Serial ? a.path : a.host).toStdString(), c.pathOrHost);
        EXPECT_EQ(a.port, c.port) << c.name;
    }
    const std::pair<const char*, const char*> invalid[] = {
        {"", "No port given"}, {"COM999", "numbered 1 to 256"}, {"dev/ttyUSB0", "is not a port"},
        {"udp://127.0.0.1:9", "Unknown kind of port \"udp://\""}, {"tcp://:2000", "names no host"},
        {"tcp://127.0.0.1", "lacks the port number: use tcp://HOST:PORT"},
        {"tcp://::1:2000", "Put an IPv6 address in brackets: tcp://[::1]:2000"},
        {"tcp://[::1:2000", "never closes it"}, {"tcp://[127.0.0.1]:2000", "is not an IPv6 address"},
        {"tcp://ho st:2000", "\"ho st\" is not a host name"}, {"tcp://host:65536", "\"65536\" is not a TCP port"},
        {"tcp://host:2000/x", "\"2000/x\" is not a TCP port"},
    };
    for (const auto& [name, why] : invalid) {
        EXPECT_THAT(comm::ParsePortName(QString::fromUtf8(name)).error.toStdString(), HasSubstr(why)) << name;
    }
}

// The override (a simulator, a test's pseudo-terminal) wins over a name,
// which wins over a number; a symlink opens its target, so that both are
// the same port to the lock file.
TEST(PortName, OverrideThenOwnNameThenNumber)
{
    EXPECT_EQ(LComm::PortName(1), "/dev/ttyS0");
    EXPECT_EQ(LComm::PortName(8), "/dev/ttyS7");
    EXPECT_TRUE(LComm::PortName(0).isEmpty());
    EXPECT_EQ(comm::ResolvePortName(3, {}), "/dev/ttyS2");
    EXPECT_EQ(comm::ResolvePortName(3, "tcp://127.0.0.1:9"), "tcp://127.0.0.1:9");
    EXPECT_EQ(comm::ResolvePortPath(3), LComm::PortName(3));

    PtyPeer peer;
    QTemporaryDir dir;
    const QString link = dir.filePath("kestra-link");
    ASSERT_TRUE(QFile::link(QString::fromStdString(peer.Path()), link));
    LComm::SetPortOverride(link);
    EXPECT_EQ(LComm::PortOverride(), link);
    EXPECT_EQ(comm::ResolvePortName(3, "tcp://127.0.0.1:9"), link);
    EXPECT_EQ(comm::ResolvePortPath(3), QString::fromStdString(peer.Path()));
    // A path that does not exist stays as typed, so opening it fails plainly.
    LComm::SetPortOverride(dir.filePath("missing"));
    EXPECT_EQ(comm::ResolvePortPath(3), dir.filePath("missing"));
    LComm::SetPortOverride({});
}

// Causes a test cannot bring about on 127.0.0.1 or as root (the others are
// opened for real in LCommTest).
TEST(PortName, UnreachableHostsAndRefusedAccessAreNamed)
{
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::HostNotFoundError, "mixer.local", 4001, {}),
              "The host \"mixer.local\" could not be found. Check its name.");
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::SocketTimeoutError, "10.0.0.9", 4001, {}),
              "No answer from 10.0.0.9 on port 4001.");
    EXPECT_THAT(comm::SerialOpenErrorText(QSerialPort::PermissionError, "/dev/ttyUSB0", true, {}).toStdString(),
                HasSubstr("sudo usermod -aG dialout $USER"));
}

}  // namespace
