#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HelpDocumentsEveryOption)
{
    const std::string help = sim::HelpText();
    for (const char* option : {"--device", "--link", "--state", "--wire-speed", "--boot-loader", "--no-speed-check",
             "--speech ", "--speech-period", "--random-state", "--fault", "silence", "noise", "truncate", "nak", "busy",
             "error", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    EXPECT_TRUE(sim::ParseCommandLine({"--help"}).help);
}

TEST(CommandLine, ParsesOptions)
{
    const auto cl = sim::ParseCommandLine({"--state", "/tmp/s", "--wire-speed", "--boot-loader", "--speech", "1,3",
        "--fault", "error:9:2", "--link", "/tmp/l", "--random-state", "77", "--speech-period", "500"});
    ASSERT_TRUE(cl.error.empty()) << cl.error;
    EXPECT_EQ(cl.sim.stateFile, "/tmp/s");
    EXPECT_EQ(cl.sim.linkPath, "/tmp/l");
    EXPECT_TRUE(cl.sim.wireSpeed);
    EXPECT_TRUE(cl.sim.bootLoader);
    EXPECT_TRUE(cl.sim.checkLineSpeed);
    EXPECT_EQ(cl.sim.speech, 0b101u);
    EXPECT_EQ(cl.fault.kind, sim::FaultKind::Error);
    EXPECT_EQ(cl.fault.value, 9);
    EXPECT_EQ(cl.fault.count, 2);
    EXPECT_EQ(cl.randomSeed, 77u);
    EXPECT_EQ(cl.speechPeriodMs, 500);
}

TEST(CommandLine, RejectsBadValues)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--speech", "0"}, {"--speech", "7"}, {"--speech", "1,,2"}, {"--speech", "1,"}, {"--speech"},
        {"--fault", "loud"}, {"--fault", "error:256"}, {"--fault", "nak:0:0"}, {"--fault", "noise:1:2:3"},
        {"--random-state", "-1"}, {"--speech-period", "soon"}, {"--bogus"}, {"--device"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(sim::ParseCommandLine(args).error.empty()) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

TEST(CommandLine, FaultDefaults)
{
    EXPECT_EQ(sim::ParseFault("noise")->value, 5);
    EXPECT_EQ(sim::ParseFault("truncate")->value, 3);
    EXPECT_EQ(sim::ParseFault("silence")->count, -1);
}

}  // namespace
