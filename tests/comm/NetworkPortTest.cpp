// The driver over the network, against the real ser2net serving the
// simulated KESTRA's pseudo-terminal: raw TCP and RFC 2217 carry every byte
// (0xFF included) and a reply per frame, RFC 2217 sets the far line's speed;
// and a failed open says why, for network and serial ports alike. (A server
// dying mid-session is the window's test.)
#include "KestraSim.h"
#include "LCommProc.h"
#include "PtyPeer.h"
#include "Ser2net.h"
#include "TestOwner.h"
#include "WaitFor.h"

#include <QProcess>
#include <QSerialPort>
#include <QTcpServer>

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing::HasSubstr;

ByteVector FrameWithIac()
{
    class Cmd : public LCmd {
    public:
        Cmd() : LCmd(0x01, 'M') { Append(0xFF); }
    };
    return Cmd().MakeFrame(frame::kModeFramed);
}

class NetworkPort : public testing::TestWithParam<Ser2net::Mode> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(device_.Start().empty());
        server_ = std::make_unique<Ser2net>(QString::fromStdString(device_.Path()), GetParam());
        ASSERT_TRUE(server_->Start()) << server_->Why().toStdString();
        driver_ = std::make_unique<LCommProc>(&owner_);
        owner_.current = [this] { return driver_.get(); };
    }
    bool Open() { return driver_->OpenNamed(server_->Url(), 9600, 8, 0, 0); }
    // Sends the frames and waits for a reply to each.
    bool Exchange(const std::vector<ByteVector>& frames)
    {
        const std::size_t before = owner_.replies.size();
        for (const ByteVector& f : frames) {
            driver_->Send(f, true);
        }
        return WaitFor([&] { return owner_.replies.size() >= before + frames.size(); }, 5000);
    }

    sim::KestraSim device_;
    std::unique_ptr<Ser2net> server_;
    TestOwner owner_;
    std::unique_ptr<LCommProc> driver_;
};

TEST_P(NetworkPort, CarriesEveryByteAndSetsTheFarLine)
{
    ASSERT_TRUE(Open()) << driver_->LastOpenError().toStdString();
    const std::vector<ByteVector> frames = {FrameWithIac(), LCommProc::PollFrame(), FrameWithIac()};
    ASSERT_TRUE(Exchange(frames));
    EXPECT_EQ(device_.Received(), frames);
    // Raw TCP leaves the line as the server set it; RFC 2217 sets it here.
    const bool telnet = GetParam() == Ser2net::Mode::Rfc2217;
    EXPECT_EQ(driver_->SetBaudRate(115200), telnet);
    EXPECT_EQ(device_.LineBaud(), telnet ? 115200 : 9600);
    EXPECT_EQ(driver_->SetBaudRate(9600), telnet);
    EXPECT_TRUE(Exchange({LCommProc::PollFrame()}));
    EXPECT_TRUE(owner_.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, NetworkPort, testing::Values(Ser2net::Mode::Raw, Ser2net::Mode::Rfc2217));

// Each failed open, made for real, and the words it leaves for the user.
TEST(PortOpenErrors, SayWhatFailed)
{
    TestOwner owner;
    LCommProc driver(&owner);
    QTcpServer probe;  // a port nobody listens on once the probe is gone
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    EXPECT_FALSE(driver.OpenNamed(QStringLiteral("tcp://127.0.0.1:%1").arg(closedPort), 9600, 8, 0, 0));
    EXPECT_THAT(driver.LastOpenError().toStdString(),
                HasSubstr(QStringLiteral("127.0.0.1 refused the connection on port %1").arg(closedPort).toStdString()));

    EXPECT_FALSE(driver.OpenNamed(QStringLiteral("tcp://[::1]"), 9600, 8, 0, 0));
    EXPECT_THAT(driver.LastOpenError().toStdString(), HasSubstr("lacks the port number"));

    EXPECT_FALSE(driver.OpenNamed(QStringLiteral("/dev/kestra-no-such-port"), 9600, 8, 0, 0));
    EXPECT_THAT(driver.LastOpenError().toStdString(), HasSubstr("There is no serial port /dev/kestra-no-such-port"));

    PtyPeer peer;
    QSerialPort holder(QString::fromStdString(peer.Path()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    EXPECT_FALSE(driver.OpenNamed(QString::fromStdString(peer.Path()), 9600, 8, 0, 0));
    EXPECT_THAT(driver.LastOpenError().toStdString(), HasSubstr("is in use by another program"));
    EXPECT_EQ(owner.errors, std::vector<int>{}) << "a failed open posts no error";
}

// A port this user may not open. Root may open anything, so as root the test
// runs itself again as nobody (setpriv), against a port made unreadable.
TEST(PortOpenErrors, NoPermissionNamesTheDialoutGroup)
{
    const char* childPort = std::getenv("KESTRA_UNREADABLE_PORT");
    if (childPort != nullptr) {
        TestOwner owner;
        LCommProc driver(&owner);
        EXPECT_FALSE(driver.OpenNamed(QString::fromLocal8Bit(childPort), 9600, 8, 0, 0));
        EXPECT_THAT(driver.LastOpenError().toStdString(), HasSubstr("sudo usermod -aG dialout $USER"));
        return;
    }
    PtyPeer peer;
    ASSERT_EQ(::chmod(peer.Path().c_str(), 0), 0);
    QProcess child;
    QStringList command;
    if (::geteuid() == 0) {
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=65534") << QStringLiteral("--regid=65534")
                << QStringLiteral("--clear-groups");
    }
    command << QCoreApplication::applicationFilePath()
            << QStringLiteral("--gtest_filter=PortOpenErrors.NoPermissionNamesTheDialoutGroup");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRA_UNREADABLE_PORT"), QString::fromStdString(peer.Path()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(command.takeFirst(), command);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

}  // namespace
