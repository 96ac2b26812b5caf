#include "CommandLine.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(CommandLine, ParsesOptionsAndRejectsBadValues)
{
    const auto cl = sim::ParseCommandLine({"--state", "/tmp/s", "--wire-speed", "--boot-loader", "--speech", "1,3",
        "--fault", "error:9:2", "--link", "/tmp/l", "--random-state", "77", "--speech-period", "500", "--answers", "busy=4",
        "--received", "/tmp/r"});
    ASSERT_TRUE(cl.error.empty()) << cl.error;
    EXPECT_EQ(std::tuple(cl.sim.stateFile, cl.sim.linkPath, cl.receivedFile, cl.sim.speech, cl.randomSeed, cl.speechPeriodMs,
                         cl.sim.choices.busyEvery),
              std::tuple("/tmp/s", "/tmp/l", "/tmp/r", 0b101u, 77u, 500, 4));
    EXPECT_TRUE(cl.sim.wireSpeed && cl.sim.bootLoader && cl.sim.checkLineSpeed);
    EXPECT_TRUE(cl.fault.kind == sim::FaultKind::Error && cl.fault.value == 9 && cl.fault.count == 2);
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
