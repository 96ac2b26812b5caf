// The port driver on its own: port names, opening, writing, the ways its
// reader thread ends (silence, a vanished device, close), and replies handed
// to the owner's thread by posted events: only the driver that sent one
// handles it, and closing never waits on a reply being handled.
#include "CommFixture.h"
#include "FreePort.h"

#include "PortErrors.h"
#include "PortName.h"
#include "PortReader.h"

#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

using Driver = CommFixture;
using Kind = comm::PortAddress::Kind;
using testing::HasSubstr;

// Reader threads alive in this process, by their system thread name.
int ReaderThreadCount()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + "/comm"));
        count += name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == comm::PortReader::kThreadName;
    }
    return count;
}

TEST(PortName, ParsesEveryFormAndExplainsBadNames)
{
    // What each name opens: "serial PATH" or "tcp|rfc2217 HOST PORT".
    const std::pair<const char*, const char*> valid[] = {
        {"COM1", "serial /dev/ttyS0"}, {" com12 ", "serial /dev/ttyS11"}, {"/dev/ttyUSB0", "serial /dev/ttyUSB0"},
        {"ttyACM0", "serial /dev/ttyACM0"}, {"tcp://127.0.0.1:2000", "tcp 127.0.0.1 2000"},
        {"TCP://nport-7.example:4001", "tcp nport-7.example 4001"}, {"rfc2217://[::1]:65535", "rfc2217 ::1 65535"},
        {"rfc2217://[fe80::1%eth0]:7000", "rfc2217 fe80::1%eth0 7000"},
    };
    for (const auto& [name, opens] : valid) {
        const comm::PortAddress a = comm::ParsePortName(QString::fromUtf8(name));
        const QString where = a.kind == Kind::Serial ? a.path : a.host + ' ' + QString::number(a.port);
        const char* const kind[] = {"serial", "tcp", "rfc2217"};
        EXPECT_EQ(QStringLiteral("%1 %2%3").arg(kind[static_cast<int>(a.kind)], where, a.error).toStdString(), opens);
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
    EXPECT_EQ(comm::ResolvePortName(3, "tcp://127.0.0.1:9"), link);
    EXPECT_EQ(comm::ResolvePortPath(3), QString::fromStdString(peer.Path()));
    // A path that does not exist stays as typed, so opening it fails plainly.
    LComm::SetPortOverride(dir.filePath("missing"));
    EXPECT_EQ(comm::ResolvePortPath(3), dir.filePath("missing"));
    LComm::SetPortOverride({});
}

// Causes a test cannot bring about on 127.0.0.1 or as root (the others are
// opened for real below); and what the owner is told for each kind of port
// failure: 1 the port failed, 2 a read failed, 6 anything else; a failed
// write is not reported (a dead port shows on the read side).
TEST(PortErrors, UnreachableHostsAndRefusedAccessAreNamedAndFailuresMapOntoCodes)
{
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::HostNotFoundError, "mixer.local", 4001, {}),
              "The host \"mixer.local\" could not be found. Check its name.");
    EXPECT_EQ(comm::NetworkOpenErrorText(QAbstractSocket::SocketTimeoutError, "10.0.0.9", 4001, {}),
              "No answer from 10.0.0.9 on port 4001.");
    EXPECT_THAT(comm::SerialOpenErrorText(QSerialPort::PermissionError, "/dev/ttyUSB0", true, {}).toStdString(),
                HasSubstr("sudo usermod -aG dialout $USER"));
    const std::pair<QSerialPort::SerialPortError, int> table[] = {
        {QSerialPort::ResourceError, 1}, {QSerialPort::ReadError, 2}, {QSerialPort::TimeoutError, 6}, {QSerialPort::WriteError, -1},
    };
    for (const auto& [error, code] : table) {
        EXPECT_EQ(comm::ErrorCodeFor(error), code) << error;
    }
}

// Each failed open made for real: the words it leaves for the user, no
// reader thread left behind, no error posted, nothing sent afterwards.
TEST_F(Driver, FailedOpenSaysWhyAndLeavesNothingRunning)
{
    const quint16 closed = FreePort();  // nobody listens on it
    ASSERT_NE(closed, 0);
    const QString pty = QString::fromStdString(peer.Path());
    using Kind = comm::OpenFailure::Kind;
    const struct { QString port; int baud, dataBits; Kind kind; QString why; } cases[] = {
        {QStringLiteral("tcp://127.0.0.1:%1").arg(closed), 9600, 8, Kind::Other, QStringLiteral("127.0.0.1 refused the connection on port %1").arg(closed)},
        {QStringLiteral("/dev/kestra-no-such-port"), 9600, 8, Kind::NoSuchPort, QStringLiteral("There is no serial port /dev/kestra-no-such-port")},
        {QStringLiteral("tcp://127.0.0.1"), 9600, 8, Kind::NoSuchPort, QStringLiteral("tcp://HOST:PORT")},  // not a port's name
        {pty, 9600, 9, Kind::LineRefused, QStringLiteral("refused the line settings (9600 baud)")},
        {pty, 0, 8, Kind::LineRefused, QStringLiteral("refused the line settings (0 baud)")},
        {pty, 9600, 8, Kind::InUse, QStringLiteral("is in use by another program")},  // the holder below has it
    };
    LComm::SetPortOverride({});
    QSerialPort holder(pty);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why.toStdString());
        if (&c == std::end(cases) - 1) {
            ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
        }
        LCommProc d(&owner);
        EXPECT_FALSE(d.OpenNamed(c.port, {c.baud, c.dataBits, 0, 0}));
        EXPECT_THAT(d.LastOpenError().toStdString(), HasSubstr(c.why.toStdString()));
        EXPECT_EQ(d.LastOpenFailure().kind, c.kind);
        EXPECT_FALSE(d.IsOpen());
        // A joined QThread's system thread may linger for a moment; a leaked one stays.
        EXPECT_TRUE(WaitFor([&] { return ReaderThreadCount() == 0; }, 1000));
        d.Send(Frame(0x05));
        EXPECT_FALSE(d.IsBusy());
    }
    holder.close();
    EXPECT_FALSE(PeerHearsAnything(50));
    EXPECT_TRUE(owner.errors.empty()) << "a failed open posts no error";
}

// More than the pseudo-terminal holds, while the device does not read: the
// writes the port refuses at once are finished by the reader, in order; then,
// as the device reads a little at a time, a write made while earlier ones
// still wait in the port's buffer goes after them. A write longer than the
// transmit buffer is refused whole.
TEST_F(Driver, WritesKeepTheirOrderAndRefuseWhatIsTooLong)
{
    LComm link(&owner);
    EXPECT_FALSE(link.Write(Hex("01"))) << "not open";
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    EXPECT_FALSE(link.Write(ByteVector(LComm::kTransmitCapacity + 1, 0xEE)));
    ByteVector all(256 * LComm::kTransmitCapacity), got;
    // No two writes alike: a reordering shows.
    std::generate(all.begin(), all.end(), [i = 0]() mutable { return static_cast<std::uint8_t>(i++ % 251); });
    for (auto at = all.begin(); at != all.end(); at += LComm::kTransmitCapacity) {
        ASSERT_TRUE(link.Write(ByteVector(at, at + LComm::kTransmitCapacity)));
        if (at - all.begin() >= static_cast<std::ptrdiff_t>(all.size() / 2)) {
            const ByteVector some = ReadPeer(LComm::kTransmitCapacity / 2);
            got.insert(got.end(), some.begin(), some.end());
        }
    }
    const ByteVector rest = ReadPeer(all.size() - got.size(), 10000);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, all);
    EXPECT_FALSE(PeerHearsAnything(50));
    EXPECT_TRUE(owner.errors.empty());
}

// Received bytes restart the silence limit; while a reply is being handled
// (a long modal box) it rests, and bytes that came meanwhile are read after
// it. Silence then ends the reader with one error 0, and nothing on close;
// so does a device that vanishes, with its own error. (How a frame holds the
// line until its reply: the line discipline's tests.)
TEST_F(Driver, SilenceRestsWhileHandlingAndSilenceOrAVanishedPeerEndsTheReaderOnce)
{
    constexpr int kLimitMs = 300;
    LCommProc& d = OpenDriver(kLimitMs);
    for (int i = 0; i < 4; ++i) {
        ASSERT_FALSE(WaitFor([&] { return !owner.errors.empty(); }, 100));
        ASSERT_TRUE(peer.Write(Hex("00")));
    }
    QElapsedTimer sinceRelease;
    owner.onReply = [&](const RecCompleteEvent&) {
        if (owner.replies.size() == 1) {
            EXPECT_FALSE(WaitFor([&] { return !owner.errors.empty(); }, 3 * kLimitMs));
        }
        sinceRelease.start();
    };
    d.Send(Frame('X'));
    d.Send(Frame('Y'));
    ASSERT_EQ(ReadPeer(8), Frame('X'));
    ASSERT_TRUE(peer.Write(Hex(ToHex(Ack()) + " " + ToHex(Ack()))));  // both while the first is handled
    ASSERT_TRUE(WaitFor([&] { return owner.replies.size() == 2; }));
    EXPECT_EQ(ReadPeer(8), Frame('Y'));
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
    EXPECT_GE(sinceRelease.elapsed(), kLimitMs - 5);
    ExpectEndedOnce(kErrSilence);

    owner.onReply = nullptr;
    owner.errors.clear();
    OpenDriver();
    peer.CloseMaster();
    ExpectEndedOnce(testing::AnyOf(kErrPortFailed, kErrReadFailed));
}

// Replies still in flight when their driver was closed or replaced never
// reach the handler, not even a new driver's at the same address.
TEST_F(Driver, OnlyTheCurrentDriversRepliesAreHandled)
{
    int handled = 0;
    auto deliver = [&](quint64 from, LCommProc* current) {
        RecCompleteEvent reply(Ack(), 0, from);
        EXPECT_TRUE(DeliverReply(&reply, [=] { return current; }, [&](auto&) { ++handled; }));
    };
    const quint64 old = OpenDriver().Id();
    driver->Close();
    deliver(old, driver.get());
    driver.reset();
    OpenDriver();
    deliver(old, driver.get());
    deliver(old, nullptr);
    EXPECT_EQ(handled, 0);
    deliver(driver->Id(), driver.get());
    EXPECT_EQ(handled, 1);
}

// A driver replaced while its port is still opening (a device server that
// has not answered yet) is not waited for; its reader frees itself once the
// opening ends, and the new driver's exchange is the one handled.
TEST_F(Driver, ADriverReplacedWhileOpeningFreesItsReaderOnceItEnds)
{
    LComm::SetPortOverride({});
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    driver = std::make_unique<LCommProc>(&owner);
    driver->SetPortName(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort()));
    ASSERT_TRUE(driver->OpenInBackground(0, 9600, 8, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }));  // connected, waiting for an answer
    LComm::SetPortOverride(QString::fromStdString(peer.Path()));
    EXPECT_LT(Timed([&] { OpenDriver(); }), kPromptMs);
    delete server.nextPendingConnection();
    EXPECT_TRUE(WaitFor([&] { return ReaderThreadCount() == 1; }));
    driver->Send(Frame(0x05));
    ASSERT_EQ(ReadPeer(8), Frame(0x05));
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_TRUE(WaitFor([&] { return owner.replies.size() == 1; }));
    EXPECT_TRUE(owner.errors.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the old reader, if it was not yet
}

// Close from every state the owner can be in, many times over (the
// threading builds run this to find a deadlock or a late use of the driver).
// Closing an idle driver, or one whose reader ended by itself, is every
// other test's and the reader-end checks' part.
TEST_F(Driver, CloseReturnsPromptlyInEveryState)
{
    enum State { Busy, Handling, HandlerDestroys, ModalDialog };
    for (State state : {Busy, Handling, HandlerDestroys, ModalDialog}) {
        for (int round = 0; round < 15; ++round) {
            SCOPED_TRACE(testing::Message() << "state " << state << ", round " << round);
            owner.errors.clear();
            LCommProc& d = OpenDriver();
            qint64 closeMs = -1;
            auto close = [&] { closeMs = Timed([&] { state == HandlerDestroys ? driver.reset() : driver->Close(); }); };
            d.Send(Frame('X'));
            d.Send(Frame('Y'));
            ASSERT_EQ(ReadPeer(8), Frame('X'));
            if (state == Busy) {
                close();
                EXPECT_EQ(d.QueueLength(), 0u);
            } else {
                owner.onReply = [&](const RecCompleteEvent&) {
                    if (state != ModalDialog) {
                        return close();
                    }
                    QDialog box;
                    QTimer::singleShot(10, &box, [&] {
                        close();
                        box.reject();
                    });
                    box.exec();
                };
                ASSERT_TRUE(peer.Write(Ack()));
                ASSERT_TRUE(WaitFor([&] { return closeMs >= 0; }));
                owner.onReply = nullptr;
            }
            EXPECT_TRUE(closeMs >= 0 && closeMs < kPromptMs) << closeMs;
            if (driver) {
                EXPECT_FALSE(driver->IsOpen());
                EXPECT_FALSE(driver->ReaderRunning());
                driver.reset();
            }
            EXPECT_FALSE(PeerHearsAnything(round == 0 ? 100 : 5)) << "a frame went out after the close";
            EXPECT_EQ(owner.errors, std::vector<int>{}) << "closing reports nothing";
        }
    }
}

}  // namespace
