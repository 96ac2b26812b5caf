#include "Lcomm.h"
#include "PortName.h"
#include "PtyPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace {

// Restores the process-wide override whatever a test does.
struct OverrideGuard {
    ~OverrideGuard() { LComm::SetPortOverride({}); }
};

TEST(PortName, NumbersMapOntoTheDefaultDevices)
{
#if defined(Q_OS_WIN)
    EXPECT_EQ(LComm::PortName(1), "COM1");
    EXPECT_EQ(LComm::PortName(8), "COM8");
#elif defined(Q_OS_LINUX)
    EXPECT_EQ(LComm::PortName(1), "/dev/ttyS0");
    EXPECT_EQ(LComm::PortName(8), "/dev/ttyS7");
#endif
    EXPECT_TRUE(LComm::PortName(0).isEmpty());
    EXPECT_TRUE(LComm::PortName(-3).isEmpty());
}

TEST(PortName, OverrideWinsAndSymlinksResolveToTheirTarget)
{
    OverrideGuard guard;
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("kestra-link");
    ASSERT_TRUE(QFile::link(QString::fromStdString(peer.Path()), link));

    EXPECT_EQ(comm::ResolvePortPath(3), LComm::PortName(3));
    LComm::SetPortOverride(link);
    EXPECT_EQ(LComm::PortOverride(), link);
    EXPECT_EQ(comm::ResolvePortPath(3), QString::fromStdString(peer.Path()));
    // A path that does not exist stays as typed, so opening it fails plainly.
    LComm::SetPortOverride(dir.filePath("missing"));
    EXPECT_EQ(comm::ResolvePortPath(3), dir.filePath("missing"));
    LComm::SetPortOverride({});
    EXPECT_EQ(comm::ResolvePortPath(2), LComm::PortName(2));
}

}  // namespace
