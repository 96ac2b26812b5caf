// Out of descriptors, accepting fails; it takes up again once there are
// some. (The open-file limit is a POSIX process's; a Windows one has none.)
#include "BridgeFixture.h"
#include "WaitFor.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using GuardDescriptors = BridgeFixture;

TEST_F(GuardDescriptors, AcceptingResumesOnceThereAreSome)
{
    StartBridge();
    // Heard through a plain function: while no descriptor is left the
    // sanitizers cannot check a virtual call (they read /proc for it).
    QTcpSocket late;
    bool failed = false;
    QObject::connect(server_->findChild<QTcpServer*>(), &QTcpServer::acceptError, &late, [&failed] { failed = true; });
    late.connectToHost(QHostAddress::LocalHost, server_->Port());
    late.write(Request("GET /api/health"));
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const int lowestFree = ::open("/dev/null", O_RDONLY);
    ::close(lowestFree);
    const rlimit none{static_cast<rlim_t>(lowestFree), files.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    const bool accepting = WaitFor([&] { return failed; });
    ::setrlimit(RLIMIT_NOFILE, &files);
    EXPECT_TRUE(accepting);
    EXPECT_TRUE(WaitFor([&] { return late.bytesAvailable() > 0; }));
    EXPECT_TRUE(late.readAll().startsWith("HTTP/1.1 200"));
}
