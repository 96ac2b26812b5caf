// The device's memory on disk: whole or not at all.
#include "SimTestUtil.h"
#include "StateFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using sim::DeviceState;

TEST(StateFile, RoundTripsOrRejectsTheWholeFile)
{
    const fs::path dir = fs::temp_directory_path() / ("kestra-sim-state-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "state").string();
    for (std::uint32_t seed : {1u, 2u}) {
        ASSERT_TRUE(sim::SaveStateFile(path, DeviceState::Random(seed)));
        EXPECT_EQ(sim::LoadStateFile(path), DeviceState::Random(seed)) << seed;
        EXPECT_FALSE(fs::exists(path + ".tmp" + std::to_string(::getpid()))) << "the temporary file is renamed away";
    }

    const std::string good = sim::FormatState(DeviceState::Random(5));
    auto replace = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        return s.replace(s.find(from), from.size(), to);
    };
    const std::string preset3 = good.substr(good.find("preset3"));
    DeviceState loud = DeviceState::Random(5);
    loud.live.stereoGain[0] = 80;
    const std::string rejected[] = {
        "",
        replace("kestra-sim-state", "kestra-sim-stat"),
        replace("kestra-sim-state 1", "kestra-sim-state 2"),
        good.substr(0, good.find("switchon")) + "switchon 4\n",
        good.substr(0, good.find("switchon")),
        replace(preset3.substr(0, preset3.find('\n') + 1), ""),
        good + "switchon 1\n",
        good + "extra 1\n",
        replace("live ", "live 80 "),
        replace("live ", "live x"),
        good.substr(0, good.size() / 2),
        sim::FormatState(loud),
    };
    for (const std::string& text : rejected) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(sim::LoadStateFile(path).has_value()) << text;
    }
    EXPECT_FALSE(sim::LoadStateFile((dir / "missing").string()).has_value());
    fs::remove_all(dir);
}
