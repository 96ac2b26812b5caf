#include "CommFixture.h"

#include "PortReader.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>

#include <termios.h>

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

TEST_F(LCommOpen, SecondOpenFailsAndChangesNothing)
{
    LComm link(&owner);
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    EXPECT_EQ(ReaderThreadCount(), 1);
    const quint64 id = link.Id();
    EXPECT_FALSE(link.Open(1, 115200, 8, 0, 0));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.Id(), id);
    EXPECT_EQ(peer.SlaveSpeed(), static_cast<unsigned>(B9600));
    ASSERT_TRUE(link.Write(Hex("01 02 03")));
    EXPECT_EQ(ToHex(ReadPeer(3)), "01 02 03");
    EXPECT_EQ(ReaderThreadCount(), 1);
    link.Close();
    EXPECT_NE(link.Id(), id);
    EXPECT_TRUE(WaitFor([&] { return ReaderThreadCount() == 0; }, 1000));
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

TEST_F(LCommOpen, PlainLinkPostsEveryReceivedByte)
{
    LComm link(&owner);
    ASSERT_TRUE(link.Open(1, 9600, 8, 0, 0));
    ASSERT_TRUE(peer.Write(Hex("10 02 41")));
    ASSERT_TRUE(WaitFor([&] { return owner.rxChars.size() >= 3; }));
    EXPECT_EQ(ToHex(ByteVector(owner.rxChars.begin(), owner.rxChars.end())), "10 02 41");
}

TEST_F(LCommOpen, BaudRateReachesThePort)
{
    LComm link(&owner);
    EXPECT_FALSE(link.SetBaudRate(115200));  // not open
    ASSERT_TRUE(link.Open(1, 19200, 8, 0, 0));
    EXPECT_EQ(peer.SlaveSpeed(), static_cast<unsigned>(B19200));
    EXPECT_TRUE(link.SetBaudRate(115200));
    EXPECT_EQ(peer.SlaveSpeed(), static_cast<unsigned>(B115200));
    EXPECT_TRUE(link.SetBaudRate(9600));
    EXPECT_EQ(peer.SlaveSpeed(), static_cast<unsigned>(B9600));
    // A refused rate is an answer, not the end of the link.
    EXPECT_FALSE(link.SetBaudRate(-5));
    EXPECT_TRUE(link.IsOpen());
    ASSERT_TRUE(link.Write(Hex("5A")));
    EXPECT_EQ(ToHex(ReadPeer(1)), "5A");
    EXPECT_TRUE(owner.errors.empty());
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

TEST_F(LCommOpen, ReopensAfterTheReaderEndedOnAnError)
{
    LCommProc& d = MakeDriver();
    d.SetSilenceLimitMs(50);
    ASSERT_TRUE(OpenDriver());
    d.Send(Frame(0x05), true);
    ASSERT_EQ(ReadPeer(8), Frame(0x05));
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
    const quint64 failedId = d.Id();

    d.SetSilenceLimitMs(LComm::kSilenceLimitMs);
    ASSERT_TRUE(OpenDriver());
    EXPECT_NE(d.Id(), failedId);
    // The frame left unanswered before does not keep the new link busy.
    EXPECT_FALSE(d.IsBusy());
    d.Send(Frame(0x06), true);
    EXPECT_EQ(ReadPeer(8), Frame(0x06));
    ASSERT_TRUE(peer.Write(Ack()));
    EXPECT_TRUE(WaitFor([&] { return owner.replies.size() == 1 && !d.IsBusy(); }));
    EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));
}

// The one test that waits out the real limit.
TEST_F(LCommOpen, SilentDeviceAfterFirstPollGivesErrorZeroAfterEightSeconds)
{
    LCommProc& d = MakeDriver();
    ASSERT_TRUE(OpenDriver(false));
    ASSERT_EQ(ReadPeer(8, 1000), LCommProc::PollFrame());
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }, 10000));
    const qint64 waited = clock.elapsed();
    EXPECT_GE(waited, 7900);
    EXPECT_LT(waited, 9000);
    EXPECT_THAT(owner.errors, testing::ElementsAre(kErrSilence));
    EXPECT_FALSE(d.IsOpen());
    // While the poll waited for its answer nothing else went out.
    EXPECT_TRUE(ReadPeer(1, 0).empty());
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
