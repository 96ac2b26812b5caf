#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, ParsesOptionsAndRejectsBadValues)
{
    const auto cl = sim::ParseCommandLine({"--state", "/tmp/s", "--wire-speed", "--boot-loader", "--speech", "1,3",
        "--fault", "error:9:2", "--link", "/tmp/l", "--random-state", "77", "--speech-period", "500", "--answers", "busy=4"});
    ASSERT_TRUE(cl.error.empty()) << cl.error;
    EXPECT_EQ(cl.sim.stateFile, "/tmp/s");
    EXPECT_EQ(cl.sim.linkPath, "/tmp/l");
    EXPECT_TRUE(cl.sim.wireSpeed && cl.sim.bootLoader && cl.sim.checkLineSpeed);
    EXPECT_EQ(cl.sim.speech, 0b101u);
    EXPECT_EQ(cl.fault.kind, sim::FaultKind::Error);
    EXPECT_EQ(cl.fault.value, 9);
    EXPECT_EQ(cl.fault.count, 2);
    EXPECT_EQ(cl.randomSeed, 77u);
    EXPECT_EQ(cl.speechPeriodMs, 500);
    EXPECT_EQ(cl.sim.choices.busyEvery, 4);
    EXPECT_FALSE(sim::ParseCommandLine({"--no-speed-check"}).sim.checkLineSpeed);

    const std::vector<std::vector<std::string>> bad = {
        {"--speech", "0"}, {"--speech", "7"}, {"--speech", "1,,2"}, {"--speech", "1,"}, {"--speech"},
        {"--fault", "loud"}, {"--fault", "error:256"}, {"--fault", "nak:0:0"}, {"--fault", "noise:1:2:3"},
        {"--random-state", "-1"}, {"--speech-period", "soon"}, {"--bogus"}, {"--device"}, {"--answers", "busy=1"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(sim::ParseCommandLine(args).error.empty()) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

}  // namespace
