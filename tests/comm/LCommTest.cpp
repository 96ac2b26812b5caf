#include "CommFixture.h"

#include "PortReader.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>

#include <termios.h>
#include <utility>

namespace {

// Reader threads alive in this process, by their system thread name.
int ReaderThreadCount()
{
    int count = 0;
    const QDir tasks("/proc/self/task");
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + "/comm"));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == comm::PortReader::kThreadName) {
            ++count;
        }
    }
    return count;
}

using LCommOpen = CommFixture;

struct RefusedOpen {
    const char* name;
    bool missingPort;
    int baud, dataBits, parity, stopBits;
};

void PrintTo(const RefusedOpen& k, std::ostream* out)
{
    *out << k.name;
}

class LCommRefusedOpen : public CommFixture, public testing::WithParamInterface<RefusedOpen> {};

TEST_P(LCommRefusedOpen, FailsWithoutThreadOrError)
{
    const RefusedOpen& k = GetParam();
    if (k.missingPort) {
        LComm::SetPortOverride("/dev/kestra-no-such-port");
    }
    LCommProc d(&owner);
    ASSERT_EQ(ReaderThreadCount(), 0);
    EXPECT_FALSE(d.Open(1, k.baud, k.dataBits, k.parity, k.stopBits));
    EXPECT_FALSE(d.IsOpen());
    EXPECT_FALSE(d.ReaderRunning());
    // A joined QThread's system thread may linger for a moment; a leaked one stays.
    EXPECT_TRUE(WaitFor([&] { return ReaderThreadCount() == 0; }, 1000));
    d.Send(Frame(0x05), true);
    EXPECT_FALSE(d.IsBusy());
    d.Close();
    WaitFor([] { return false; }, 50);
    EXPECT_TRUE(owner.errors.empty());
    EXPECT_TRUE(peer.Read().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LCommRefusedOpen,
    testing::Values(RefusedOpen{"MissingPort", true, 9600, 8, 0, 0}, RefusedOpen{"NineDataBits", false, 9600, 9, 0, 0},
                    RefusedOpen{"UnknownParity", false, 9600, 8, 7, 0},
                    RefusedOpen{"UnknownStopBits", false, 9600, 8, 0, 3},
                    RefusedOpen{"ZeroBaud", false, 0, 8, 0, 0}),
    [](const testing::TestParamInfo<RefusedOpen>& info) { return std::string(info.param.name); });

// What the owner is told for each kind of port failure: 1 the port failed,
// 2 a read failed, 6 anything else; a failed write is not reported (a dead
// port shows on the read side).
TEST(SerialErrors, MapOntoTheCodesTheOwnerSees)
{
    const std::pair<QSerialPort::SerialPortError, int> table[] = {
        {QSerialPort::ResourceError, 1},
        {QSerialPort::ReadError, 2},
        {QSerialPort::TimeoutError, 6},
        {QSerialPort::WriteError, -1},
    };
    for (const auto& [error, code] : table) {
        EXPECT_EQ(comm::ErrorCodeFor(error), code) << error;
    }
}

TEST_F(LCommOpen, WritesUpToTheTransmitBufferAndRefusesLonger)
{
    LComm link(&owner);
    EXPECT_FALSE(link.Write(Hex("01")));  // not open
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    ByteVector tooLong(LComm::kTransmitCapacity + 1, 0xEE);
    EXPECT_FALSE(link.Write(tooLong));
    ByteVector full(LComm::kTransmitCapacity);
    for (std::size_t i = 0; i < full.size(); ++i) {
        full[i] = static_cast<std::uint8_t>(i * 7);
    }
    ASSERT_TRUE(link.Write(full));
    ASSERT_TRUE(link.Write(Hex("AB CD")));
    // Both writes, whole and in order; nothing of the refused one.
    ByteVector expected = full;
    expected.push_back(0xAB);
    expected.push_back(0xCD);
    EXPECT_EQ(ReadPeer(expected.size()), expected);
    EXPECT_FALSE(PeerHearsAnything(100));
}

TEST_F(LCommOpen, SilenceEndsTheReaderWithErrorZeroOnce)
{
    LComm link(&owner);
    link.SetSilenceLimitMs(500);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    // Received bytes restart the limit: traffic every 100 ms keeps it alive.
    for (int i = 0; i < 6; ++i) {
        WaitFor([] { return false; }, 100);
        ASSERT_TRUE(peer.Write(Hex("00")));
    }
    EXPECT_TRUE(owner.errors.empty());
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }, 3000));
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(WaitFor([&] { return !link.ReaderRunning(); }));
    EXPECT_FALSE(link.Write(Hex("01")));

    QElapsedTimer closing;
    closing.start();
    link.Close();
    EXPECT_LT(closing.elapsed(), kPromptMs);
    WaitFor([] { return false; }, 100);
    EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));  // and no 5
}

TEST_F(LCommOpen, VanishedPeerGivesExactlyOneErrorAndEndsTheReader)
{
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver(false));
    ASSERT_EQ(ReadPeer(8, 1000), LCommProc::PollFrame());
    peer.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
    EXPECT_FALSE(WaitFor([&] { return owner.errors.size() > 1; }, 500));
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_THAT(owner.errors[0], testing::AnyOf(kErrPortFailed, kErrReadFailed));
    EXPECT_FALSE(d.IsOpen());
    EXPECT_TRUE(WaitFor([&] { return !d.ReaderRunning(); }));

    QElapsedTimer closing;
    closing.start();
    d.Close();
    EXPECT_LT(closing.elapsed(), kPromptMs);
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(owner.errors.size(), 1u);
}

}  // namespace
