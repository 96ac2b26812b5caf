// A failed open says why, for network and serial ports alike, each cause
// brought about for real. (The network ports at work, against ser2net, are
// the window's tests: NetworkWindowTest.)
#include "LCommProc.h"
#include "PtyPeer.h"
#include "TestOwner.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSerialPort>
#include <QTcpServer>

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing::HasSubstr;

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
#if defined(__SANITIZE_THREAD__)
    // Qt starts the child with a clone() that ThreadSanitizer cannot follow;
    // it then loses track of locks in the tests after this one.
    GTEST_SKIP() << "not a threading test; runs in the other builds";
#endif
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
