// The device's memory on disk: whole or not at all.
#include "Commands.h"
#include "KestraSim.h"
#include "LineEnd.h"
#include "SimTestUtil.h"
#include "StateFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using sim::DeviceState;

namespace {

class StateFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("kestra-sim-test-" + std::to_string(::getpid()) + "-"
                                            + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "state").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const std::string& text)
    {
        std::ofstream(path_, std::ios::binary) << text;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(StateFileTest, RoundTripsEveryItem)
{
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const DeviceState state = DeviceState::Random(seed);
        ASSERT_TRUE(sim::SaveStateFile(path_, state));
        EXPECT_EQ(sim::LoadStateFile(path_), state) << seed;
        EXPECT_FALSE(fs::exists(path_ + ".tmp")) << "the temporary file is renamed away";
    }
}

TEST_F(StateFileTest, CorruptOrIncompleteFilesAreRejectedWhole)
{
    const std::string good = sim::FormatState(DeviceState::Random(5));
    auto replace = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string lastPreset = good.substr(good.find("preset3"));
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"wrong_magic", replace("kestra-sim-state", "kestra-sim-stat")},
        {"other_version", replace("kestra-sim-state 1", "kestra-sim-state 2")},
        {"switch_on_out_of_range", good.substr(0, good.find("switchon")) + "switchon 4\n"},
        {"missing_switch_on", good.substr(0, good.find("switchon"))},
        {"missing_preset", replace(lastPreset.substr(0, lastPreset.find('\n') + 1), "")},
        {"duplicate_record", good + "switchon 1\n"},
        {"unknown_record", good + "extra 1\n"},
        {"extra_number", replace("live ", "live 80 ")},
        {"not_a_number", replace("live ", "live x")},
        {"truncated_mid_line", good.substr(0, good.size() / 2)},
    };
    for (const auto& [name, text] : cases) {
        Write(text);
        EXPECT_FALSE(sim::LoadStateFile(path_).has_value()) << name;
    }
    DeviceState bad = DeviceState::Random(5);
    bad.live.stereoGain[0] = 80;
    Write(sim::FormatState(bad));
    EXPECT_FALSE(sim::LoadStateFile(path_).has_value()) << "a gain beyond 79";
    EXPECT_FALSE(sim::LoadStateFile((dir_ / "missing").string()).has_value());
}

TEST_F(StateFileTest, SaveIntoMissingFolderFailsWithoutLeavingFiles)
{
    EXPECT_FALSE(sim::SaveStateFile((dir_ / "no" / "state").string(), DeviceState{}));
}

// Presets and the switch-on setting survive a restart of the simulator, and
// the switch-on preset is what the device starts with.
TEST_F(StateFileTest, PresetsAndSwitchOnSurviveARestart)
{
    sim::SimOptions options;
    options.stateFile = path_;
    {
        sim::KestraSim device(options);
        LineEnd line;
        ASSERT_TRUE(line.Open(device.Start()));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_MIC(42, 0x13))), R("C3 2A 13"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_SAVELOAD(1, 1))), R("01"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_MIC(7, 0x13))), R("C3 07 13"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_SWITCH(1))), R("D7 01"));
    }
    {
        sim::KestraSim device(options);
        LineEnd line;
        ASSERT_TRUE(line.Open(device.Start()));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_INQUIRY_DX(3))), R("D7 01"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_INQUIRY(3, 0x13))), R("C3 2A 13")) << "started with preset 1";
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_SWITCH(0))), R("D7 00"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_MIC(9, 0x13))), R("C3 09 13"));
    }
    {
        sim::KestraSim device(options);
        LineEnd line;
        ASSERT_TRUE(line.Open(device.Start()));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_INQUIRY(3, 0x13))), R("C3 09 13")) << "started as switched off";
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_SAVELOAD(1, 0))), R("01"));
        EXPECT_EQ(ToHex(line.Exchange(CM_MCS_INQUIRY(3, 0x13))), R("C3 2A 13")) << "preset 1 kept";
    }
}

TEST_F(StateFileTest, CorruptFileKeepsTheFactoryState)
{
    Write("kestra-sim-state 1\nlive 1 2 3\n");
    sim::SimOptions options;
    options.stateFile = path_;
    sim::KestraSim device(options);
    ASSERT_FALSE(device.Start().empty());
    EXPECT_EQ(device.State(), DeviceState{});
}

}  // namespace
