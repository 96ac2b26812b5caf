// Linked into every test of the window: whatever a test does, the panel never
// opens one of the machine's real serial ports. Tests that want a device
// point the override at a simulator instead.
#include "Lcomm.h"

#include <gtest/gtest.h>

namespace {
class NoRealPorts : public testing::Environment {
public:
    void SetUp() override { LComm::SetPortOverride(QStringLiteral("/dev/kestra-test-no-such-port")); }
};

const testing::Environment* const kNoRealPorts = testing::AddGlobalTestEnvironment(new NoRealPorts);
}  // namespace
